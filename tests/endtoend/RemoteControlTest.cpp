// Remote input control end to end. The presenter (`zkhost present --share`)
// shares a program on the test's display; viewers (`zkhost view`) run on a
// second display with a Wine of their own, as on another computer, where a
// person (xdotool) clicks and types in the viewer's window. What arrives is
// read back from the program with WM_GETTEXT.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DesktopTestKit.h"
#include "EventFraming.h"
#include "HostProcess.h"
#include "InjectedInput.h"
#include "PictureMatch.h"
#include "RawPeer.h"
#include "ScreenGrab.h"
#include "SecondDisplay.h"
#include "TcpSocket.h"
#include "events/ControlTokenMessages.h"
#include "events/ProtocolMessages.h"

namespace {
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

// The token in a reply "ok control with token N"; 0 when there is none.
uint32_t TokenIn(const std::string& output, size_t from = 0) {
  const std::string key = "ok control with token ";
  size_t at = output.find(key, from);
  return at == std::string::npos ? 0 : std::strtoul(output.c_str() + at + key.size(), nullptr, 10);
}

// Pointer positions the presenter reported for a button message (a click
// of its own pointer) at the given picture point.
int ClicksReportedAt(RawPeer& peer, PackedPoint point) {
  int count = 0;
  for (const ReceivedEvent& event : peer.Events(ZKP_MOUSEPOSITION)) {
    MouseMessage position;
    if (ParseMessage(event.payload.data(), static_cast<uint32_t>(event.payload.size()),
                     &position) &&
        position.message == WM_LBUTTONDOWN && position.point.x == point.x &&
        position.point.y == point.y)
      ++count;
  }
  return count;
}

// The last token the presenter granted the peer, or 0.
uint32_t LastGrant(RawPeer& peer) {
  ControlGrantMessage grant = {0};
  for (const ReceivedEvent& event : peer.Events(ZKH_GRANTCONTROL))
    ParseMessage(event.payload.data(), static_cast<uint32_t>(event.payload.size()), &grant);
  return grant.token;
}

// Asks for control and returns the token granted, or 0.
uint32_t TakeControl(RawPeer& peer) {
  peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{});
  uint32_t token = 0;
  WaitUntil([&] { return (token = LastGrant(peer)) != 0; }, kArriveSeconds);
  return token;
}

class RemoteControl : public ::testing::Test {
 protected:
  void SetUp() override {
    static WinsockSession winsock;
    ASSERT_TRUE(winsock.Started());
    // Earlier tests leave the pointer anywhere. A window that appears under
    // it makes the system report a move of the presenter's own mouse, and
    // remote input would then be posted for a while instead of injected:
    // park it where no window comes.
    hooktest::InjectAbsoluteMove(
        {GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1});
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

  // The program in the presenter's area, and the presenter sharing it; it
  // grants control without asking unless `consent`. With `nats` (a server's
  // URL), the session goes through that server instead of direct links.
  void StartPresenting(const std::string& settings, bool consent = false,
                       const std::string& nats = "") {
    nats_ = nats;
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
    const std::string how = nats.empty() ? "--port 0" : "--nats " + nats + " --session " + Session();
    ASSERT_TRUE(presenter_.Start(
        "present --share \"" + std::string(kTitle) + "\" --name present-rc " + how + " --rect " +
            rect + (consent ? "" : " --allow-control"),
        "presenter.txt"));
    if (!nats.empty()) ASSERT_TRUE(AwaitPresenter("zkhost: presenting")) << presenter_.Output();
    if (!nats.empty()) return AwaitFrame();
    ASSERT_TRUE(AwaitPresenter("\ninvitation: "));
    const std::string output = presenter_.Output();
    char code[160] = {};
    ASSERT_EQ(std::sscanf(output.c_str() + output.find(" on port "), " on port %d", &port_), 1);
    ASSERT_EQ(std::sscanf(output.c_str() + output.find("\ninvitation: "), "\ninvitation: %159s",
                          code),
              1);
    ASSERT_TRUE(ParseInvitation(code, &invitation_));
    AwaitFrame();
  }

  std::string Session() const { return "rc" + std::to_string(GetCurrentProcessId()); }

  void AwaitFrame() {
    ASSERT_TRUE(AwaitPresenter(": ok shared")) << presenter_.Output();
    // Input is replayed once the frame stands over the area, capturing.
    ASSERT_TRUE(WaitUntil(
        [] {
          HWND frame = FindWindowA("Morvane Zenkast", "Morvane Zenkast");
          RECT r = {};
          return frame && IsWindowVisible(frame) && GetWindowRect(frame, &r) && r.left == kAreaX &&
                 r.top == kAreaY && r.right == kAreaX + kAreaWidth;
        },
        kStartSeconds));
  }

  void StartSecondDisplay() {
    second_ = std::make_unique<SecondDisplay>("second-display");
    ASSERT_TRUE(second_->Start()) << "no second display";
    ASSERT_TRUE(second_->WriteConfig("[ZK]\nUpdateInterval=50\nInputUpdateInterval=50\n"));
  }

  // A viewer on the second display at (kViewerX, y); waits until its window
  // shows the picture.
  void StartViewer(const std::string& name, int y, const std::string& options = "") {
    const std::string how = nats_.empty() ? "--connect 127.0.0.1:" + std::to_string(port_) +
                                                " --invite " + FormatInvitation(invitation_)
                                          : "--nats " + nats_ + " --session " + Session();
    ASSERT_TRUE(second_->RunZkhost(name, "view " + how + " --at " + std::to_string(kViewerX) + "," +
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
    return second_->Xdotool("mousemove --sync " + std::to_string(p.x) + " " + std::to_string(p.y) +
                            " " + click);
  }

  // Clicks into the edit through the viewer, `offset` from its centre, and
  // types.
  void TypeThroughViewer(int viewerY, const std::string& text, POINT offset = {0, 0}) {
    POINT centre = Centre(Control(kEditId));
    ASSERT_TRUE(ClickInViewer({centre.x + offset.x, centre.y + offset.y}, viewerY));
    ASSERT_TRUE(second_->Xdotool("type --delay 60 \"" + text + "\""));
  }

  bool EditHolds(const std::string& text) {
    return WaitUntil([&] { return Text(Control(kEditId)) == text; }, kArriveSeconds);
  }

  // The first line of the edit as the viewer at viewerY shows it.
  bool GrabFirstLine(int viewerY, Picture* out) {
    RECT edit;
    GetWindowRect(Control(kEditId), &edit);
    POINT at = InViewer({edit.left, edit.top}, viewerY);
    return second_->Grab(at.x, at.y, kLineWidth, kLineHeight, out);
  }

  // The viewer at viewerY shows the first line of the edit as the
  // presenter's screen does (within 5-6-5 precision, but for the caret,
  // which blinks on its own on each side), and no longer as `before`.
  bool ViewerShowsFirstLine(int viewerY, const Picture& before, MatchReport* report) {
    RECT edit;
    GetWindowRect(Control(kEditId), &edit);
    return WaitUntil(
        [&] {
          Picture presenter, viewer;
          if (!GrabScreen(edit.left, edit.top, kLineWidth, kLineHeight, &presenter) ||
              !GrabFirstLine(viewerY, &viewer))
            return false;
          *report = Compare565(presenter, viewer);
          return report->mismatched <= kCaretPixels &&
                 Compare565(before, viewer).mismatched > kCaretPixels;
        },
        kArriveSeconds);
  }

  // The viewer at viewerY shows the edit's first line as the presenter's
  // screen does. A click the viewer takes before its picture arrives lands
  // nowhere on the presenter, which a cold Wine on the second display makes
  // likely.
  bool ViewerShowsTheEdit(int viewerY) {
    RECT edit;
    GetWindowRect(Control(kEditId), &edit);
    return WaitUntil(
        [&] {
          Picture presenter, viewer;
          return GrabScreen(edit.left, edit.top, kLineWidth, kLineHeight, &presenter) &&
                 GrabFirstLine(viewerY, &viewer) &&
                 Compare565(presenter, viewer).mismatched <= kCaretPixels;
        },
        kArriveSeconds);
  }

  // Types "hello, world" through the viewer at viewerY; the program holds
  // it and the viewer shows it.
  void TypeHelloWorld(int viewerY) {
    ASSERT_TRUE(ViewerShowsTheEdit(viewerY)) << "the viewer never showed the program";
    Picture before;
    ASSERT_TRUE(GrabFirstLine(viewerY, &before));
    TypeThroughViewer(viewerY, "hello, world");
    EXPECT_TRUE(EditHolds("hello, world")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";
    MatchReport report;
    EXPECT_TRUE(ViewerShowsFirstLine(viewerY, before, &report))
        << report.mismatched << " of " << report.pixels << " pixels differ";
  }

  static constexpr int kLineWidth = 160, kLineHeight = 24;
  static constexpr uint64_t kCaretPixels = 2 * kLineHeight;

  HostProcess program_;
  HostProcess presenter_;
  int port_ = 0;  // the presenter's, chosen by the system
  Invitation invitation_;
  std::string nats_;  // the NATS server the session goes through, if any
  HWND window_ = nullptr;
  std::unique_ptr<SecondDisplay> second_;
};

TEST_F(RemoteControl, TypingInTheViewerWritesInTheSharedProgram) {
  StartSecondDisplay();
  StartPresenting("");
  StartViewer("viewer-one", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-one", "zkhost: control: ok control with token"))
      << second_->Output("viewer-one");

  TypeHelloWorld(kViewerY);
}

// Through a NATS server (tests/tools/nats-fixture.sh starts it: ctest runs
// this test by name, as RemoteControlThroughNats), the grant, the input and
// the picture travel through the server.
TEST_F(RemoteControl, DISABLED_TypingInAViewerThroughANatsServerWritesInTheSharedProgram) {
  std::ifstream file(ZK_NATS_URL_FILE);
  std::string url;
  std::getline(file, url);
  ASSERT_FALSE(url.empty()) << "no NATS server's address in " << ZK_NATS_URL_FILE;
  StartSecondDisplay();
  StartPresenting("", false, url);
  StartViewer("viewer-nats", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-nats", "zkhost: control: ok control with token"))
      << second_->Output("viewer-nats");

  TypeHelloWorld(kViewerY);
}

TEST_F(RemoteControl, LightInputControlPostsTheViewersInputToTheProgram) {
  StartSecondDisplay();
  StartPresenting("UseLightInputControl=1");
  StartViewer("viewer-one", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-one", "zkhost: control: ok control with token"))
      << second_->Output("viewer-one");

  TypeHelloWorld(kViewerY);
}
TEST_F(RemoteControl, TheNewestTokenControlsAndControlPassesOnWhenGivenBack) {
  StartSecondDisplay();
  StartPresenting("");
  StartViewer("viewer-one", kViewerY, "--control");
  StartViewer("viewer-two", kSecondViewerY);
  ASSERT_TRUE(AwaitViewer("viewer-one", "ok control with token"));
  const uint32_t first = TokenIn(second_->Output("viewer-one"));

  ASSERT_TRUE(second_->Command("viewer-two", "control"));
  ASSERT_TRUE(AwaitViewer("viewer-two", "ok control with token")) << second_->Output("viewer-two");
  const uint32_t second = TokenIn(second_->Output("viewer-two"));
  EXPECT_GT(second, first);
  EXPECT_TRUE(AwaitViewer("viewer-one", "input control cancelled by the presenter"))
      << second_->Output("viewer-one");

  // The lower token works nothing; the higher one does.
  TypeThroughViewer(kViewerY, "one");
  TypeThroughViewer(kSecondViewerY, "two");
  EXPECT_TRUE(EditHolds("two")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";

  // Given back, control goes to whoever asks next, with a higher token still.
  ASSERT_TRUE(second_->Command("viewer-two", "release-control"));
  ASSERT_TRUE(AwaitViewer("viewer-two", "ok control given back"));
  // The viewer answers before its presenter hears it; a request from the other
  // viewer could overtake the release.
  ASSERT_TRUE(AwaitPresenter("viewer 2 (viewer-two) gave control back")) << presenter_.Output();
  const size_t before = second_->Output("viewer-one").size();
  ASSERT_TRUE(second_->Command("viewer-one", "control"));
  ASSERT_TRUE(WaitUntil([&] { return TokenIn(second_->Output("viewer-one"), before) != 0; },
                        kArriveSeconds));
  EXPECT_GT(TokenIn(second_->Output("viewer-one"), before), second);
  // Away from the last click: two clicks on one spot within the double-click
  // time make a double click, which would select the word.
  TypeThroughViewer(kViewerY, " and one", {40, 20});
  EXPECT_TRUE(EditHolds("two and one")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";
  EXPECT_TRUE(AwaitPresenter("viewer 1 (viewer-one) takes control with token " + std::to_string(first)));

  // A grant that comes after its request stopped waiting still makes its
  // viewer the holder; one that holds no control gives it straight back
  // rather than keep it unused. The presenter is held still until the
  // request has timed out.
  const size_t presenterBefore = presenter_.Output().size();
  ASSERT_TRUE(presenter_.Suspend());
  ASSERT_TRUE(second_->Command("viewer-two", "control 0.5"));
  const bool timedOut = AwaitViewer("viewer-two", "error: the presenter granted no control");
  ASSERT_TRUE(presenter_.Resume());
  ASSERT_TRUE(timedOut) << second_->Output("viewer-two");
  EXPECT_TRUE(AwaitViewer("viewer-two",
                          "a control grant came after its request had timed out: given back"))
      << second_->Output("viewer-two");
  EXPECT_TRUE(WaitUntil(
      [&] {
        return presenter_.Output().find("viewer 2 (viewer-two) gave control back", presenterBefore) !=
               std::string::npos;
      },
      kStartSeconds))
      << presenter_.Output();
}

// Control is the presenter's to give: a viewer's request waits for its
// person, a denied viewer works nothing, and revoke ends control at once.
// What the viewer typed while it had no control would show in the text the
// edit ends with.
TEST_F(RemoteControl, ControlWaitsForThePresentersConsentAndEndsWhenRevoked) {
  StartSecondDisplay();
  StartPresenting("", true);
  StartViewer("viewer-one", kViewerY);
  ASSERT_TRUE(ViewerShowsTheEdit(kViewerY)) << "the viewer never showed the program";
  auto ask = [&] {
    const size_t before = presenter_.Output().size();
    ASSERT_TRUE(second_->Command("viewer-one", "control"));
    ASSERT_TRUE(WaitUntil(
        [&] {
          return presenter_.Output().find("viewer 1 (viewer-one) asks for control: allow 1 or deny 1",
                                          before) != std::string::npos;
        },
        kArriveSeconds))
        << presenter_.Output();
  };

  ask();
  ASSERT_TRUE(presenter_.WriteInput("deny 1\n"));
  ASSERT_TRUE(AwaitViewer("viewer-one", "error: the presenter denied control"))
      << second_->Output("viewer-one");
  TypeThroughViewer(kViewerY, "denied");

  ask();
  ASSERT_TRUE(presenter_.WriteInput("allow 1\n"));
  ASSERT_TRUE(AwaitViewer("viewer-one", "ok control with token")) << second_->Output("viewer-one");
  // Clicked below the first line, the caret goes to the end of the text;
  // each click elsewhere than the last, lest two make a double click.
  TypeThroughViewer(kViewerY, "allowed", {40, 20});
  ASSERT_TRUE(EditHolds("allowed")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";

  ASSERT_TRUE(presenter_.WriteInput("revoke\n"));
  ASSERT_TRUE(AwaitViewer("viewer-one", "input control cancelled by the presenter"))
      << second_->Output("viewer-one");
  EXPECT_TRUE(AwaitPresenter("ok control taken back from viewer 1"));
  TypeThroughViewer(kViewerY, " revoked", {-40, 20});

  ask();
  ASSERT_TRUE(presenter_.WriteInput("allow 1\n"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string output = second_->Output("viewer-one");
        return output.find("ok control with token") != output.rfind("ok control with token");
      },
      kArriveSeconds))
      << second_->Output("viewer-one");
  TypeThroughViewer(kViewerY, " again", {0, 20});
  EXPECT_TRUE(EditHolds("allowed again")) << "the edit holds \"" << Text(Control(kEditId)) << "\"";
}

class RemoteDoubleClick : public RemoteControl, public ::testing::WithParamInterface<bool> {};

TEST_P(RemoteDoubleClick, ADoubleClickInTheViewerOpensAListItem) {
  StartSecondDisplay();
  StartPresenting(GetParam() ? "UseLightInputControl=1" : "");
  StartViewer("viewer-one", kViewerY, "--control");
  ASSERT_TRUE(AwaitViewer("viewer-one", "ok control with token"));

  // The second item, "beta".
  HWND list = Control(kListId);
  int itemHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  ASSERT_GT(itemHeight, 0);
  POINT beta = {20, itemHeight + itemHeight / 2};
  ClientToScreen(list, &beta);
  ASSERT_TRUE(ClickInViewer(beta, kViewerY, "click --repeat 2 --delay 80 1"));
  EXPECT_TRUE(WaitUntil([&] { return Text(Control(kStatusId)) == "opened beta"; }, kArriveSeconds))
      << "the status line says \"" << Text(Control(kStatusId)) << "\"";
}

INSTANTIATE_TEST_SUITE_P(InjectedAndLight, RemoteDoubleClick, ::testing::Bool());

// A double click whose first click the presenter never replayed (it went
// out before a move, or long ago) is replayed whole: click, then press.
TEST_F(RemoteControl, ALoneDoubleClickMessageIsReplayedAsAWholeDoubleClick) {
  StartPresenting("");
  RawPeer peer;
  ASSERT_TRUE(peer.Join(port_, invitation_));
  const uint32_t token = TakeControl(peer);
  ASSERT_NE(token, 0u);
  HWND list = Control(kListId);
  const int itemHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  POINT delta = {20, 3 * itemHeight + itemHeight / 2};
  ClientToScreen(list, &delta);
  const PackedPoint point = {static_cast<int16_t>(delta.x - kAreaX),
                             static_cast<int16_t>(delta.y - kAreaY)};
  for (uint32_t button : {WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, button, 0, point}));
  EXPECT_TRUE(WaitUntil([&] { return Text(Control(kStatusId)) == "opened delta"; }, kArriveSeconds))
      << "the status line says \"" << Text(Control(kStatusId)) << "\"";
}

// A viewer that holds control but sends what no viewer's library produces:
// message numbers that would close or destroy windows, and points outside
// the shared area.
class HostilePeer : public RemoteControl, public ::testing::WithParamInterface<bool> {};

TEST_P(HostilePeer, ChangesNothingOutsideTheSharedArea) {
  const bool light = GetParam();
  hooktest::MessageLog log;
  // A window of the test's beside the area, level with the list box (a
  // right click on the edit would open its menu): nothing may click it.
  // Made and activated before the program starts, so that the program's
  // window is the foreground one, which light keys go to.
  hooktest::RecordingWindow outside(
      log, {kAreaX + kAreaWidth + 40, kAreaY + 200, kAreaX + kAreaWidth + 240, kAreaY + 330});
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == outside.Handle(); }, kStartSeconds));
  const int outsideX = kAreaWidth + 100, outsideY = 280;  // in picture coordinates
  StartPresenting(light ? "UseLightInputControl=1" : "");
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window_; }, kStartSeconds));

  RawPeer stale, peer;
  ASSERT_TRUE(stale.Join(port_, invitation_));
  ASSERT_TRUE(peer.Join(port_, invitation_));
  const uint32_t staleToken = TakeControl(stale);
  const uint32_t token = TakeControl(peer);
  ASSERT_NE(staleToken, 0u);
  ASSERT_GT(token, staleToken);
  EXPECT_TRUE(WaitUntil([&] { return stale.Count(ZKP_CANCELINPUTCONTROL) >= 1; }, kArriveSeconds))
      << "a viewer that lost control is told";

  // The lower token's input is refused, and its sender told again.
  ASSERT_TRUE(
      stale.Send(ZKP_KEYBOARDUPDATE, KeyboardMessage{staleToken, WM_KEYDOWN, 'Q', 0x100001}));
  EXPECT_TRUE(WaitUntil([&] { return stale.Count(ZKP_CANCELINPUTCONTROL) >= 2; }, kArriveSeconds));

  const uint32_t hostile[] = {WM_CLOSE,    WM_QUIT, WM_DESTROY, WM_SYSCOMMAND,
                              WM_USER + 1, 0x7FFF,  0xC123,     0xFFFFFFFF};
  POINT edit = Centre(Control(kEditId));
  const PackedPoint inside = {static_cast<int16_t>(edit.x - kAreaX),
                              static_cast<int16_t>(edit.y - kAreaY)};
  const PackedPoint points[] = {
      inside, {static_cast<int16_t>(outsideX), outsideY}, {-32768, -32768}, {32767, 32767}};
  for (uint32_t message : hostile) {
    for (PackedPoint point : points)
      ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, message, 0, point}));
    ASSERT_TRUE(peer.Send(ZKP_KEYBOARDUPDATE, KeyboardMessage{token, message, 'Q', 0x100001}));
  }
  // Clicks meant for the window beside the area land on the area's edge.
  const PackedPoint beside = {static_cast<int16_t>(outsideX), outsideY};
  for (uint32_t button : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP})
    ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, button, 0, beside}));

  if (!light) {
    // A drag that leaves the picture still releases its button.
    ASSERT_TRUE(
        peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, WM_LBUTTONDOWN, MK_LBUTTON, inside}));
    EXPECT_TRUE(
        WaitUntil([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }, kArriveSeconds));
    ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, WM_LBUTTONUP, 0, {-300, 5000}}));
    EXPECT_TRUE(
        WaitUntil([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0; }, kArriveSeconds));
  }
  // Then ordinary input: a click into the edit and a "z". Once it is there,
  // everything sent before it has been handled.
  for (uint32_t button : {WM_LBUTTONDOWN, WM_LBUTTONUP})
    ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, button, 0, inside}));
  for (uint32_t key : {WM_KEYDOWN, WM_KEYUP})
    ASSERT_TRUE(peer.Send(
        ZKP_KEYBOARDUPDATE,
        KeyboardMessage{token, key, 'Z', 0x2C0001u | (key == WM_KEYUP ? 0xC0000000u : 0)}));
  EXPECT_TRUE(WaitUntil([&] { return Text(Control(kEditId)) == "z"; }, kArriveSeconds))
      << "the edit holds \"" << Text(Control(kEditId)) << "\"";

  EXPECT_TRUE(IsWindow(window_)) << "the program's window is gone";
  EXPECT_TRUE(program_.IsRunning());
  EXPECT_TRUE(presenter_.IsRunning());
  outside.FlushPosted();
  EXPECT_EQ(log.Count([](const hooktest::Seen& seen) {
    return seen.message == WM_LBUTTONDOWN || seen.message == WM_LBUTTONUP;
  }),
            0u)
      << "the window beside the area was clicked";
}

INSTANTIATE_TEST_SUITE_P(InjectedAndLight, HostilePeer, ::testing::Bool());

// While the presenter works its own mouse, a remote click is posted to the
// window under its point: the presenter's pointer stays where the presenter
// put it, so its hooks report no click of its own there.
TEST_F(RemoteControl, WhileThePresenterUsesItsMouseRemoteClicksLeaveItsPointerAlone) {
  StartPresenting("LocalMouseOverride=60000");
  RawPeer peer;
  ASSERT_TRUE(peer.Join(port_, invitation_));
  const uint32_t token = TakeControl(peer);
  ASSERT_NE(token, 0u);
  ASSERT_TRUE(hooktest::HaveXdotool());
  // The presenter's own mouse, over a window of the test's beside the area
  // (Wine turns X pointer events into input over its own windows only).
  hooktest::MessageLog log;
  hooktest::RecordingWindow beside(
      log, {kAreaX + kAreaWidth + 100, kAreaY + 100, kAreaX + kAreaWidth + 300, kAreaY + 300});
  const POINT local = beside.ScreenCentre();
  ASSERT_TRUE(hooktest::RunXdotool("mousemove " + std::to_string(local.x) + " " +
                                   std::to_string(local.y) + " mousemove_relative 3 3"));
  ASSERT_TRUE(WaitUntil([&] { return peer.Count(ZKP_MOUSEPOSITION) > 0; }, kArriveSeconds));

  HWND list = Control(kListId);
  const int itemHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  POINT gamma = {20, 2 * itemHeight + itemHeight / 2};
  ClientToScreen(list, &gamma);
  const PackedPoint remote = {static_cast<int16_t>(gamma.x - kAreaX),
                              static_cast<int16_t>(gamma.y - kAreaY)};
  for (uint32_t button : {WM_LBUTTONDOWN, WM_LBUTTONUP})
    ASSERT_TRUE(peer.Send(ZKP_MOUSEUPDATE, MouseMessage{token, button, 0, remote}));
  EXPECT_TRUE(
      WaitUntil([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == 2; }, kArriveSeconds))
      << "the click did not select \"gamma\"";

  // A click of the presenter's own: once it is reported, so would an
  // injected click before it have been.
  ASSERT_TRUE(hooktest::RunXdotool("mousemove " + std::to_string(local.x) + " " +
                                   std::to_string(local.y) + " click 1"));
  const PackedPoint localInPicture = {static_cast<int16_t>(local.x - kAreaX),
                                      static_cast<int16_t>(local.y - kAreaY)};
  ASSERT_TRUE(WaitUntil([&] { return ClicksReportedAt(peer, localInPicture) > 0; }, kArriveSeconds));
  EXPECT_EQ(ClicksReportedAt(peer, remote), 0) << "the remote click moved the presenter's pointer";
}

TEST_F(RemoteControl, EveryViewerDrawsThePresentersPointerWhereItIs) {
  StartSecondDisplay();
  StartPresenting("");
  StartViewer("viewer-one", kViewerY);
  StartViewer("viewer-two", kSecondViewerY);

  // Over the list box, away from the edit's blinking caret.
  RECT list;
  GetWindowRect(Control(kListId), &list);
  const POINT pointer = {list.left + 60, list.top + 20};
  hooktest::InjectAbsoluteMove(pointer);

  const int top = list.top - kAreaY, height = kAreaY + kAreaHeight - list.top;
  const PictureBox drawn = {pointer.x - kAreaX, pointer.y - list.top,
                            pointer.x - kAreaX + GetSystemMetrics(SM_CXCURSOR),
                            pointer.y - list.top + GetSystemMetrics(SM_CYCURSOR)};
  Picture presenter, one, two;
  MatchReport beside, whole;
  EXPECT_TRUE(WaitUntil(
      [&] {
        if (!GrabScreen(kAreaX, list.top, kAreaWidth, height, &presenter) ||
            !second_->Grab(kViewerX, kViewerY + top, kAreaWidth, height, &one) ||
            !second_->Grab(kViewerX, kSecondViewerY + top, kAreaWidth, height, &two))
          return false;
        beside = Compare565(presenter, one, {drawn});
        whole = Compare565(presenter, one);
        // The viewer's picture differs from the screen only where it draws
        // the pointer, and both viewers draw exactly the same.
        PictureBox between = DifferenceBox(one, two);
        return beside.mismatched == 0 && whole.mismatched > 0 && between.right == between.left &&
               between.bottom == between.top;
      },
      kArriveSeconds))
      << beside.mismatched << " pixels differ beside the pointer, " << whole.mismatched
      << " in all";
}
}  // namespace
