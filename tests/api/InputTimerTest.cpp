// The input timer on demand (InputTimerOnDemand): a presenter whose pointer
// stays still takes no input ticks, and a move still goes out, paced as
// before.

#include <gtest/gtest.h>
#include <windows.h>

#include "HostSession.h"
#include "hooks/ZKHooks.h"

namespace {
constexpr UINT_PTR kInputTimer = 1001;
// Ten input intervals: by default the timer would tick ten times meanwhile.
constexpr DWORD kStillMs = 200;

bool IsInputTick(const SessionSpy::Record& r) {
  return r.message == WM_TIMER && r.wParam == kInputTimer;
}

bool HasPointerPosition(const EventList& events) {
  return !OfType(events, ZKP_MOUSEPOSITION).empty();
}
}  // namespace

class InputTimer : public HostSessionTest {};

TEST_F(InputTimer, OnDemandItTicksOnlyForAMoveAndTheMoveGoesOut) {
  ASSERT_TRUE(Start(
      "[ZK]\nCaptureDesktop=1\nEnablePolling=0\nInputUpdateInterval=20\nInputTimerOnDemand=1\n"));
  ASSERT_TRUE(ShowAt(100, 100, 320, 240));
  ASSERT_EQ(zk().EnableCapture(1, 5), 1);
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  // Nothing to await: the test is that nothing happens while time passes.
  Sleep(kStillMs);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_TRUE(spy_.Taken(IsInputTick).empty()) << "the timer ticked with no move waiting";

  // A move of the presenter's pointer, as the hooks report it.
  ASSERT_TRUE(PostMessageA(window_, WM_ZKHOOK_MOUSE, WM_MOUSEMOVE, MAKELPARAM(30, 40)));
  EventList events;
  EXPECT_TRUE(CollectUntil(zk(), &events, HasPointerPosition)) << "the move did not go out";
  Sleep(kStillMs);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_EQ(spy_.Taken(IsInputTick).size(), 1u) << "one tick for the one move, then none";
}
