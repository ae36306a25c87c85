// zkhost's command channel and the sharing it drives, end to end: real
// `zkhost present`, `zkhost view` and `zkhost send` processes under Wine, and
// programs of their own (Wine's notepad) shared through them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "DesktopTestKit.h"
#include "EndToEndFixture.h"
#include "OtherProgram.h"
#include "ScreenGrab.h"

namespace {
struct Sent {
  DWORD code = 99;
  std::string output;
};

class HostCommands : public EndToEndFixture {
 protected:
  // Runs one zkhost command to its end.
  Sent Run(const std::string& arguments) {
    HostProcess process;
    Sent sent;
    std::string file = "zkhost-" + std::to_string(++runs_) + ".txt";
    if (!process.Start(arguments, file) || !process.WaitForExit(30000, &sent.code)) return sent;
    sent.output = process.Output();
    return sent;
  }

  static bool AwaitOutput(const HostProcess& process, const std::string& text) {
    return WaitUntil([&] { return process.Output().find(text) != std::string::npos; },
                     kFirstShowSeconds);
  }

  int runs_ = 0;
};

HWND EditOf(HWND program) { return FindWindowExA(program, nullptr, "Edit", nullptr); }

// The text of a program's edit control (another process's control answers
// only WM_GETTEXT).
std::string EditText(HWND program) {
  HWND edit = EditOf(program);
  char text[256] = {};
  DWORD_PTR result = 0;
  if (!edit || !SendMessageTimeoutA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                    SMTO_NORMAL, 5000, &result))
    return "";
  return text;
}

HWND KeyboardFocusOf(HWND program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(program, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// Where typed keys would go now, for failure messages.
std::string KeyboardState(HWND program) {
  POINT pointer = {};
  GetCursorPos(&pointer);
  char text[200];
  std::snprintf(text, sizeof text,
                "foreground %p, program %p, its edit %p, its thread's focus %p; pointer at "
                "%ld,%ld over %p",
                static_cast<void*>(GetForegroundWindow()), static_cast<void*>(program),
                static_cast<void*>(EditOf(program)), static_cast<void*>(KeyboardFocusOf(program)),
                pointer.x, pointer.y, static_cast<void*>(WindowFromPoint(pointer)));
  return text;
}

bool HasRegion(HWND window) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool has = GetWindowRgn(window, region) != ERROR;
  DeleteObject(region);
  return has;
}

TEST_F(HostCommands, PresentAndViewAnswerOnTheirChannelAndStopOnRequest) {
  HostProcess presenter, viewer;
  ASSERT_TRUE(presenter.Start("present --desktop --port 0 --rect 0,0," +
                                  std::to_string(kAreaWidth) + "," + std::to_string(kAreaHeight),
                              "present.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  const std::string port = std::to_string(presenting.port);
  const std::string present = "present-" + port;
  EXPECT_EQ(presenting.name, present) << "named after its port unless --name says otherwise";

  Sent help = Run("send " + present + " help");
  EXPECT_EQ(help.code, 0u);
  EXPECT_EQ(help.output.rfind("ok help [COMMAND], stop, share TITLE", 0), 0u) << help.output;
  Sent helpOne = Run("send " + present + " help unshare");
  EXPECT_EQ(helpOne.code, 0u);
  EXPECT_EQ(helpOne.output.rfind("ok unshare [TITLE]: stop sharing", 0), 0u) << helpOne.output;
  Sent unknown = Run("send " + present + " frobnicate now");
  EXPECT_EQ(unknown.code, 1u);
  EXPECT_EQ(unknown.output, "error: unknown command frobnicate\n");
  Sent nothing = Run("send " + present + " unshare");
  EXPECT_EQ(nothing.code, 1u);
  EXPECT_EQ(nothing.output, "error: nothing is shared\n");
  // The frequencies in force: zkhost's default profile, which may change
  // while the session runs; the library's own settings only at the start.
  Sent profile = Run("send " + present + " profile");
  EXPECT_EQ(profile.output.rfind("ok live: ", 0), 0u) << profile.output;
  Sent library = Run("send " + present + " profile library");
  EXPECT_EQ(library.code, 1u);
  EXPECT_EQ(library.output.rfind("error: the library's settings apply from the start only", 0),
            0u)
      << library.output;
  EXPECT_EQ(Run("send " + present + " profile quick").output, "error: unknown profile quick\n");
  Sent nobody = Run("send nobody-here help");
  EXPECT_EQ(nobody.code, 1u);
  EXPECT_NE(nobody.output.find("no zkhost is named nobody-here"), std::string::npos);
  EXPECT_EQ(Run("send").code, 2u);
  // A line on standard input is a command too; its reply goes to the output.
  ASSERT_TRUE(presenter.WriteInput("help stop\n"));
  EXPECT_TRUE(AwaitOutput(presenter, "ok stop: end this zkhost")) << presenter.Output();

  const std::string invite = " --invite " + presenting.invitation;
  ASSERT_TRUE(viewer.Start("view --name viewer-one --at 640,0 --connect 127.0.0.1:" + port + invite,
                           "view.txt"));
  ASSERT_TRUE(AwaitOutput(viewer, "as viewer-one, viewer 1 there")) << viewer.Output();
  EXPECT_EQ(Run("send " + present + " viewers").output, "ok 1 (viewer-one) from 127.0.0.1\n");
  // A second zkhost cannot take a name in use, and says so.
  Sent taken = Run("view --name viewer-one --connect 127.0.0.1:" + port + invite);
  EXPECT_EQ(taken.code, 1u);
  EXPECT_NE(taken.output.find("another zkhost is named viewer-one"), std::string::npos)
      << taken.output;
  Sent viewerHelp = Run("send viewer-one help");
  EXPECT_EQ(viewerHelp.output,
            "ok help [COMMAND], stop, annotation on|off, highlight, marker [RRGGBB], clear-marks, "
            "leave-annotation, control [SECONDS], release-control, profile [NAME]\n")
      << "sharing is the presenter's, control the viewer's";
  EXPECT_EQ(Run("send viewer-one profile live").output.rfind("ok live: ", 0), 0u);
  Sent early = Run("send viewer-one highlight");
  EXPECT_EQ(early.code, 1u);
  EXPECT_EQ(early.output, "error: annotation is off here; run annotation on first\n");
  EXPECT_EQ(Run("send viewer-one marker blue").output, "error: not a colour RRGGBB: blue\n");

  EXPECT_EQ(Run("send viewer-one stop").output, "ok stopping\n");
  DWORD code = 99;
  ASSERT_TRUE(viewer.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(viewer.Output().find("viewer ended: stopped on request"), std::string::npos)
      << viewer.Output();
  // The old form stays: zkhost stop --port N asks present-N.
  Sent stopped = Run("stop --port " + port);
  EXPECT_EQ(stopped.code, 0u);
  EXPECT_EQ(stopped.output, "ok stopping\n");
  ASSERT_TRUE(presenter.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(presenter.Output().find("presenter ran"), std::string::npos) << presenter.Output();
}
TEST_F(HostCommands, PresentWithStatsShowsTheStatisticsWindowForThatSessionOnly) {
  HostProcess presenter;
  ASSERT_TRUE(presenter.Start("present --stats --port 0 --rect 0,0," +
                                  std::to_string(kAreaWidth) + "," + std::to_string(kAreaHeight),
                              "present-stats.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowA(nullptr, "ZK Statistics")) != nullptr; },
                        kFirstShowSeconds));
  char text[4096] = {};
  ASSERT_TRUE(WaitUntil([&] { return GetDlgItemTextA(dialog, 1002, text, sizeof text) > 0; },
                        kChangeSeconds));
  EXPECT_EQ(std::string(text).rfind("Totals: ", 0), 0u) << text;
  // It stands beside the frame: over it, it would hide the shared area and
  // be sent with it.
  const RECT area = {0, 0, kAreaWidth, kAreaHeight};
  RECT shown = {}, overlap = {};
  EXPECT_TRUE(WaitUntil(
      [&] { return GetWindowRect(dialog, &shown) && !IntersectRect(&overlap, &shown, &area); },
      kChangeSeconds))
      << "the statistics window is at " << shown.left << "," << shown.top << " to " << shown.right
      << "," << shown.bottom;
  // The setting held for that session: .\ZK.ini is as the test wrote it.
  char setting[16] = {};
  GetPrivateProfileStringA("ZK", "ShowStatistics", "absent", setting, sizeof setting, ".\\ZK.ini");
  EXPECT_STREQ(setting, "absent");

  EXPECT_EQ(Run("send " + presenting.name + " stop").code, 0u);
  DWORD code = 99;
  ASSERT_TRUE(presenter.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
}
// The main use: a program of its own shared by title, typed into by a real
// keyboard (xdotool), shown on a viewer; then closed while it is shared.
TEST_F(HostCommands, PresentShareShowsAProgramTypedIntoOnTheViewerAndOutlivesIt) {
  if (!hooktest::HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  // Capture follows the shared window only: not the desktop.
  FILE* config = std::fopen("ZK.ini", "w");
  ASSERT_NE(config, nullptr);
  std::fputs("[ZK]\nPollInterval=50\nUpdateInterval=50\n", config);
  std::fclose(config);
  PlaceContent(kViewerX, 700, 64, 64);  // the fixture's own content stays out of the way

  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  HostProcess presenter, viewer;
  ASSERT_TRUE(presenter.Start("present --port 0 --rect " + std::to_string(kAreaX) + "," +
                                  std::to_string(kAreaY) + "," + std::to_string(kAreaWidth) + "," +
                                  std::to_string(kAreaHeight) + " --share nOTEPAD",
                              "present-share.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  const std::string present = presenting.name;
  // Titles match whatever their case: "Untitled - Notepad".
  ASSERT_TRUE(AwaitOutput(presenter, "zkhost: share nOTEPAD: ok shared")) << presenter.Output();
  RECT placed = {};
  EXPECT_TRUE(WaitUntil(
      [&] {
        GetWindowRect(notepad.Window(), &placed);
        return placed.left == kAreaX && placed.top == kAreaY &&
               placed.right == kAreaX + kAreaWidth && placed.bottom == kAreaY + kAreaHeight;
      },
      kChangeSeconds))
      << "the shared program does not fill the frame";
  ASSERT_TRUE(viewer.Start("view --at " + std::to_string(kViewerX) + "," +
                               std::to_string(kViewerY) + " --connect 127.0.0.1:" +
                               std::to_string(presenting.port) + " --invite " +
                               presenting.invitation,
                           "view-share.txt"));
  ASSERT_TRUE(AwaitOutput(viewer, "zkhost: viewing")) << viewer.Output();

  SetForegroundWindow(notepad.Window());
  ASSERT_TRUE(WaitUntil(
      [&] {
        return GetForegroundWindow() == notepad.Window() &&
               KeyboardFocusOf(notepad.Window()) == EditOf(notepad.Window());
      },
      10))
      << KeyboardState(notepad.Window());
  // Until the program's process gives its window the display's keyboard focus
  // (it does so in its own time), keys go to the window under the pointer, and
  // nowhere when that is no window: type with the pointer over the program.
  RECT edit = {};
  GetWindowRect(EditOf(notepad.Window()), &edit);
  const std::string overTheEdit = std::to_string((edit.left + edit.right) / 2) + " " +
                                  std::to_string((edit.top + edit.bottom) / 2);
  // One word: xdotool gets its arguments split at spaces, unquoted.
  ASSERT_TRUE(
      hooktest::RunXdotool("mousemove " + overTheEdit + " type --delay 40 typedfortheviewer"));
  ASSERT_TRUE(WaitUntil([&] { return EditText(notepad.Window()) == "typedfortheviewer"; },
                        kChangeSeconds))
      << "the keys never reached the program: \"" << EditText(notepad.Window()) << "\"; "
      << KeyboardState(notepad.Window());
  // Viewers draw the presenter's pointer: park it away from the frame again.
  MovePointer(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);

  // The program's window is what the frame shows; the viewer shows the same
  // within 5-6-5 precision (the text caret blinks: compare both at once).
  MatchReport report;
  bool matched = WaitUntil(
      [&] {
        Picture program, shown;
        if (!GrabScreen(kAreaX, kAreaY, kAreaWidth, kAreaHeight, &program) ||
            !GrabScreen(kViewerX, kViewerY, kAreaWidth, kAreaHeight, &shown))
          return false;
        report = Compare565(program, shown, PointerBoxes());
        return report.pixels > 0 && report.mismatched == 0;
      },
      kFirstShowSeconds);
  EXPECT_TRUE(matched) << report.mismatched << " of " << report.pixels << " pixels differ";

  const HWND session = presenter.SessionWindow();
  const HWND shared = notepad.Window();
  ASSERT_TRUE(notepad.Close());
  char gone[64];
  const auto handle = static_cast<unsigned>(reinterpret_cast<uintptr_t>(shared));
  std::snprintf(gone, sizeof gone, "zkhost: window 0x%08X", handle);
  EXPECT_TRUE(AwaitOutput(presenter, "\" gone")) << presenter.Output();
  EXPECT_NE(presenter.Output().find(gone), std::string::npos) << presenter.Output();
  if (session) {
    EXPECT_TRUE(WaitUntil([&] { return !HasRegion(session); }, kChangeSeconds))
        << "the presenter still captures";
  }
  // The session goes on: the presenter answers and the viewer stays.
  Sent help = Run("send " + present + " help stop");
  EXPECT_EQ(help.code, 0u) << help.output;
  EXPECT_TRUE(viewer.IsRunning());
  EXPECT_EQ(Run("send " + present + " stop").output, "ok stopping\n");
  DWORD code = 99;
  ASSERT_TRUE(presenter.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u) << presenter.Output();
  viewer.WaitForExit(20000, &code);
}
// click-to-share from the command channel: the next click on a program's
// window shares it, and the command answers with it.
TEST_F(HostCommands, ClickToShareSharesTheProgramClickedNext) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  ASSERT_TRUE(SetWindowPos(notepad.Window(), nullptr, 640, 600, 320, 240,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  HostProcess presenter, send;
  ASSERT_TRUE(presenter.Start("present --port 0 --rect 0,0,400,300", "present-click.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  const std::string present = presenting.name;
  ASSERT_TRUE(send.Start("send " + present + " click-to-share 20", "send-click.txt"));
  // The command arms the pick on its own time: click until it answers.
  RECT r;
  GetWindowRect(notepad.Window(), &r);
  const POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ASSERT_TRUE(WaitUntil(
      [&] {
        MovePointer(centre.x, centre.y);
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        PumpFor(0.3);
        return !send.IsRunning();
      },
      kChangeSeconds));
  EXPECT_EQ(send.Output().rfind("ok shared ", 0), 0u) << send.Output();
  EXPECT_TRUE(WaitUntil(
      [&] {
        GetWindowRect(notepad.Window(), &r);
        return r.left == 0 && r.top == 0 && r.right == 400 && r.bottom == 300;
      },
      kChangeSeconds))
      << "the clicked program does not fill the frame";
  EXPECT_EQ(Run("send " + present + " stop").output, "ok stopping\n");
  DWORD code = 99;
  EXPECT_TRUE(presenter.WaitForExit(20000, &code));
}

// The command channel answers only its own user's zkhost commands: a program
// that took the pipe's name first does not get to answer in zkhost's place,
// and a client that connects and says nothing holds up nobody.
TEST_F(HostCommands, TheCommandPipeIsZkhostsOwnAndASilentClientHoldsUpNobody) {
  const std::string squatted = "squatted-" + std::to_string(GetCurrentProcessId());
  HANDLE squatter = CreateNamedPipeA(("\\\\.\\pipe\\zkhost." + squatted).c_str(),
                                     PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                     4096, 4096, 0, nullptr);
  ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
  Sent refused = Run("present --port 0 --seconds 5 --name " + squatted);
  CloseHandle(squatter);
  EXPECT_EQ(refused.code, 1u);
  EXPECT_NE(refused.output.find("another program holds the pipe"), std::string::npos)
      << refused.output;

  HostProcess presenter;
  ASSERT_TRUE(presenter.Start("present --port 0 --rect 0,0,400,300", "present-pipe.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  const std::string pipe = "\\\\.\\pipe\\zkhost." + presenting.name;
  HANDLE silent = CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(silent, INVALID_HANDLE_VALUE) << GetLastError();
  Sent help = Run("send " + presenting.name + " help stop");
  EXPECT_EQ(help.output.rfind("ok stop: ", 0), 0u) << help.output;
  DWORD available = 0;
  EXPECT_TRUE(PeekNamedPipe(silent, nullptr, 0, nullptr, &available, nullptr))
      << "the reply waited until the silent client was let go (error " << GetLastError() << ")";
  CloseHandle(silent);

  EXPECT_EQ(Run("send " + presenting.name + " stop").output, "ok stopping\n");
  DWORD code = 99;
  EXPECT_TRUE(presenter.WaitForExit(20000, &code));
}
}  // namespace
