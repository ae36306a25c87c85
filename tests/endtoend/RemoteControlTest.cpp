// Remote input control end to end. The presenter (`zkhost present`) shares
// a program on the test's display; viewers (`zkhost view`) run on a second
// display with a Wine of their own, as on another computer, where a person
// (xdotool) clicks and types in the viewer's window. What arrives is read
// back from the program with WM_GETTEXT.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "HostProcess.h"
#include "PictureMatch.h"
#include "ScreenGrab.h"
#include "SecondDisplay.h"
#include "TcpSocket.h"

namespace {
constexpr int kPort = 5961;
// The presenter's area on the test's display; the program fills it.
constexpr int kAreaX = 0, kAreaY = 0, kAreaWidth = 400, kAreaHeight = 320;
// Where viewers go on the second display.
constexpr int kViewerX = 100, kViewerY = 100, kSecondViewerY = 520;
constexpr double kStartSeconds = 60;
constexpr double kArriveSeconds = 30;
const char kTitle[] = "Remote Control Target";
// Controls of the program (tests/endtoend/EditAndListProgram.cpp).
constexpr int kEditId = 1, kStatusId = 2, kListId = 3;

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > seconds * 1000) return false;
    Pump();
    Sleep(20);  // polling an observable condition with a deadline
  }
  return true;
}

std::string Text(HWND window) {
  char text[256] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

POINT Centre(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class RemoteControl : public ::testing::Test {
 protected:
  void SetUp() override {
    static WinsockSession winsock;
    ASSERT_TRUE(winsock.Started());
  }

  void TearDown() override {
    if (presenter_.IsRunning()) presenter_.WriteInput("stop\n");
    DWORD code = 0;
    presenter_.WaitForExit(20000, &code);
    if (window_ && IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
    program_.WaitForExit(10000, &code);
    second_.reset();
    DeleteFileA("ZK.ini");
  }

  // The program in the presenter's area, and the presenter sharing it.
  void StartPresenting(const std::string& settings) {
    std::string area = std::to_string(kAreaX) + " " + std::to_string(kAreaY) + " " +
                       std::to_string(kAreaWidth) + " " + std::to_string(kAreaHeight);
    ASSERT_TRUE(program_.StartProgram("edit_and_list_program.exe",
                                      "\"" + std::string(kTitle) + "\" " + area, "program.txt"));
    ASSERT_TRUE(WaitUntil([this] { return (window_ = FindWindowA(nullptr, kTitle)) != nullptr; },
                          kStartSeconds));
    FILE* f = std::fopen("ZK.ini", "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "[ZK]\nPollInterval=50\nUpdateInterval=50\n%s\n", settings.c_str());
    std::fclose(f);
    char rect[64];
    std::snprintf(rect, sizeof rect, "%d,%d,%d,%d", kAreaX, kAreaY, kAreaWidth, kAreaHeight);
    ASSERT_TRUE(presenter_.Start(
        "present --desktop --name present-rc --port " + std::to_string(kPort) + " --rect " + rect,
        "presenter.txt"));
    ASSERT_TRUE(AwaitPresenter("as present-rc"));
  }

  void StartSecondDisplay() {
    second_ = std::make_unique<SecondDisplay>("second-display");
    ASSERT_TRUE(second_->Start()) << "no second display";
    ASSERT_TRUE(second_->WriteConfig("[ZK]\nUpdateInterval=50\nInputUpdateInterval=50\n"));
  }

  // A viewer on the second display at (kViewerX, y); waits until its window
  // shows the picture.
  void StartViewer(const std::string& name, int y, const std::string& options = "") {
    ASSERT_TRUE(second_->RunZkhost(name, "view --connect 127.0.0.1:" + std::to_string(kPort) +
                                             " --at " + std::to_string(kViewerX) + "," +
                                             std::to_string(y) + " --name " + name + " " +
                                             options));
    ASSERT_TRUE(AwaitViewer(name, "as " + name)) << second_->Output(name);
    ASSERT_TRUE(second_->Xdotool("search --sync --onlyvisible --name \"^Morvane Zenkast$\""));
  }

  bool AwaitPresenter(const std::string& text) {
    return WaitUntil([&] { return presenter_.Output().find(text) != std::string::npos; },
                     kStartSeconds);
  }
  bool AwaitViewer(const std::string& name, const std::string& text) {
    return WaitUntil([&] { return second_->Output(name).find(text) != std::string::npos; },
                     kStartSeconds);
  }

  HWND Control(int id) const { return GetDlgItem(window_, id); }

  // The point of the viewer's window at (kViewerX, viewerY) that shows the
  // given point of the presenter's screen.
  static POINT InViewer(POINT presenterPoint, int viewerY) {
    return {kViewerX + presenterPoint.x - kAreaX, viewerY + presenterPoint.y - kAreaY};
  }

  bool ClickInViewer(POINT presenterPoint, int viewerY, const std::string& click = "click 1") {
    POINT p = InViewer(presenterPoint, viewerY);
    return second_->Xdotool("mousemove --sync " + std::to_string(p.x) + " " +
                            std::to_string(p.y) + " " + click);
  }

  // Clicks into the edit through the viewer and types; true once the program
  // holds the text.
  void TypeThroughViewer(int viewerY, const std::string& text) {
    ASSERT_TRUE(ClickInViewer(Centre(Control(kEditId)), viewerY));
    ASSERT_TRUE(second_->Xdotool("type --delay 60 \"" + text + "\""));
  }

  bool EditHolds(const std::string& text) {
    return WaitUntil([&] { return Text(Control(kEditId)) == text; }, kArriveSeconds);
  }

  // The first line of the edit, as the presenter's screen shows it and as
  // the viewer at viewerY shows it, match within 5-6-5 precision.
  bool ViewerShowsFirstLine(int viewerY, MatchReport* report) {
    RECT edit;
    GetWindowRect(Control(kEditId), &edit);
    const int width = 160, height = 24;
    POINT at = InViewer({edit.left, edit.top}, viewerY);
    return WaitUntil(
        [&] {
          Picture presenter, viewer;
          if (!GrabScreen(edit.left, edit.top, width, height, &presenter) ||
              !second_->Grab(at.x, at.y, width, height, &viewer))
            return false;
          *report = Compare565(presenter, viewer);
          return report->mismatched == 0;
        },
        kArriveSeconds);
  }

  HostProcess program_;
  HostProcess presenter_;
  HWND window_ = nullptr;
  std::unique_ptr<SecondDisplay> second_;
};

TEST_F(RemoteControl, TypingInTheViewerWritesInTheSharedProgram) {
  StartPresenting("");
  StartSecondDisplay();
  StartViewer("viewer-one", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-one", "zkhost: control: ok control with token"))
      << second_->Output("viewer-one");

  TypeThroughViewer(kViewerY, "hello, world");
  EXPECT_TRUE(EditHolds("hello, world")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";
  MatchReport report;
  EXPECT_TRUE(ViewerShowsFirstLine(kViewerY, &report))
      << report.mismatched << " of " << report.pixels << " pixels differ";
}

TEST_F(RemoteControl, LightInputControlPostsTheViewersInputToTheProgram) {
  StartPresenting("UseLightInputControl=1");
  StartSecondDisplay();
  StartViewer("viewer-one", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-one", "zkhost: control: ok control with token"))
      << second_->Output("viewer-one");

  TypeThroughViewer(kViewerY, "hello, world");
  EXPECT_TRUE(EditHolds("hello, world")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";
  MatchReport report;
  EXPECT_TRUE(ViewerShowsFirstLine(kViewerY, &report))
      << report.mismatched << " of " << report.pixels << " pixels differ";
}
}  // namespace
