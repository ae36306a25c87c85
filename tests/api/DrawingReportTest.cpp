// A program that repaints as fast as it can while the session's worker is
// busy: its drawing reports must neither fill the worker's queue, which the
// host's calls post to as well, nor be lost.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "HostSession.h"
#include "hooks/ZKHooks.h"

namespace {
constexpr int kSessionX = 100, kSessionY = 100, kSessionWidth = 320, kSessionHeight = 240;
// Two places under the session window's client area, in screen coordinates,
// and where their windows wait before they move there, outside that area.
constexpr RECT kPlaces[2] = {{140, 140, 200, 170}, {300, 250, 360, 280}};
constexpr POINT kAside[2] = {{700, 140}, {700, 250}};
// Two reports a round: past the 10,000 posted messages a queue holds on
// Windows (Wine sets no such limit; there they only pile up).
constexpr int kRounds = 6000;
// The one report that announces the rest, and room for the session's own.
constexpr size_t kMostReportsQueued = 4;
constexpr UINT_PTR kUpdateTimer = 1000;

// Windows of the test thread that it repaints in turn by changing their text.
class Repainter {
 public:
  Repainter() {
    for (int i = 0; i < 2; ++i) {
      const RECT& r = kPlaces[i];
      windows_[i] = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", "",
                                    WS_POPUP | WS_VISIBLE, kAside[i].x, kAside[i].y,
                                    r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr,
                                    nullptr);
    }
  }
  ~Repainter() {
    for (HWND window : windows_) DestroyWindow(window);
  }
  bool Created() const { return windows_[0] && windows_[1]; }
  // Nothing the windows did before has been reported for their places.
  void MoveIntoPlace() {
    for (int i = 0; i < 2; ++i) {
      SetWindowPos(windows_[i], nullptr, kPlaces[i].left, kPlaces[i].top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  // Each change is reported before SetWindowText returns; the windows draw it
  // once this thread pumps again.
  void Repaint(int rounds) {
    char text[32];
    for (int i = 0; i < rounds; ++i) {
      std::snprintf(text, sizeof text, "painted %d", i);
      SetWindowTextA(windows_[0], text);
      SetWindowTextA(windows_[1], text);
    }
  }

 private:
  HWND windows_[2] = {};
};

bool Meets(const DisplayUpdateMessage& update, const RECT& screen) {
  const RECT drawn = {update.left + kSessionX, update.top + kSessionY,
                      update.left + update.width + kSessionX, update.top + update.height + kSessionY};
  RECT both;
  return IntersectRect(&both, &drawn, &screen) != FALSE;
}

bool AnUpdateMeets(const EventList& events, const RECT& screen) {
  for (const ReceivedEvent& e : OfType(events, ZKP_DISPLAYUPDATE)) {
    DisplayUpdateMessage update;
    if (ParseBytes(e.payload, &update) && Meets(update, screen)) return true;
  }
  return false;
}

bool IsUpdateTick(const SessionSpy::Record& r) {
  return r.message == WM_TIMER && r.wParam == kUpdateTimer;
}
}  // namespace

class DrawingReports : public HostSessionTest {};

TEST_F(DrawingReports, ARepaintingProgramNeitherFloodsTheWorkerNorGoesUnreported) {
  ASSERT_TRUE(Start("[ZK]\nCaptureDesktop=1\nEnablePolling=0\n"));
  ASSERT_TRUE(ShowAt(kSessionX, kSessionY, kSessionWidth, kSessionHeight));
  ASSERT_EQ(zk().EnableCapture(1, 5), 1);
  Repainter repainter;
  ASSERT_TRUE(repainter.Created());
  // Capture starts with a look at the whole picture, and another a little
  // later, ticks apart: the windows must move only once that is over, so that
  // only the reports can show them.
  spy_.Clear();
  ASSERT_TRUE(spy_.AwaitTaken(IsUpdateTick, 3));
  TakeQueuedEvents(zk());

  spy_.Clear();
  ASSERT_TRUE(spy_.Hold());
  repainter.MoveIntoPlace();
  repainter.Repaint(kRounds);
  EXPECT_EQ(zk().RequestFullUpdate(1), 1) << "a host's call found the worker's queue full";
  EXPECT_EQ(zk().EnableInputControl(0, 0), 1);
  EXPECT_EQ(zk().EnableAnnotation(0), 1);
  spy_.LetGo();

  ASSERT_TRUE(spy_.Fence(30000));
  const size_t queued =
      spy_.Taken([](const SessionSpy::Record& r) { return r.message == WM_ZKHOOK_DRAWN; }).size();
  std::printf("%zu drawing reports were queued for %d repaints\n", queued, 2 * kRounds);
  EXPECT_LE(queued, kMostReportsQueued);
  EventList events = TakeQueuedEvents(zk());
  // Each tick sends what the host's queue has room for.
  for (int tick = 0; tick < 10 && !(AnUpdateMeets(events, kPlaces[0]) &&
                                    AnUpdateMeets(events, kPlaces[1]));
       ++tick) {
    ASSERT_TRUE(DispatchNow());
    EventList more = TakeQueuedEvents(zk());
    events.insert(events.end(), more.begin(), more.end());
  }
  EXPECT_TRUE(AnUpdateMeets(events, kPlaces[0])) << "the first place was not sent";
  EXPECT_TRUE(AnUpdateMeets(events, kPlaces[1])) << "the second place was not sent";
}

TEST_F(DrawingReports, WithReportSendDelayReportedDrawingGoesOutWithoutAnUpdateTick) {
  // No update tick falls due within the test, and no poll looks anywhere.
  ASSERT_TRUE(Start(
      "[ZK]\nCaptureDesktop=1\nEnablePolling=0\nUpdateInterval=600000\nReportSendDelay=10\n"));
  ASSERT_TRUE(ShowAt(kSessionX, kSessionY, kSessionWidth, kSessionHeight));
  ASSERT_EQ(zk().EnableCapture(1, 5), 1);
  // The first look at the whole picture, at a tick of the test's choosing.
  ASSERT_TRUE(DispatchNow());
  TakeQueuedEvents(zk());
  spy_.Clear();

  const RECT& place = kPlaces[0];
  HWND drawn = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", "reported",
                               WS_POPUP | WS_VISIBLE, place.left, place.top,
                               place.right - place.left, place.bottom - place.top, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(drawn, nullptr);
  EventList events;
  bool sent = false;
  for (int round = 0; round < 200 && !sent; ++round) {
    MSG message;  // this thread paints the window, and the paint is reported
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    sent = CollectUntil(zk(), &events, [&](const EventList& e) { return AnUpdateMeets(e, place); },
                        50);
  }
  DestroyWindow(drawn);
  EXPECT_TRUE(sent) << "the reported window's place was not sent";
  EXPECT_TRUE(spy_.Taken(IsUpdateTick).empty()) << "an update tick ran";
}
