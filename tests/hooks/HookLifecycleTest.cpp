// Setting, re-targeting and removing the hooks.

#include "HookedDesktop.h"

namespace hooktest {
namespace {

TEST(HooksLifecycle, CallsWithoutHooksAreHarmless) {
  EXPECT_TRUE(ZKHooks_UnSetHooks(nullptr));
  EXPECT_FALSE(ZKHooks_ClickToShare()) << "nothing would see the click";
  EXPECT_FALSE(ZKHooks_SetHooks(nullptr));
  EXPECT_FALSE(ZKHooks_SetHooks(reinterpret_cast<HWND>(0x1234)));
  EXPECT_TRUE(ZKHooks_UnSetHooks(nullptr));
}

using HooksSetAndUnSet = HookedDesktop;

TEST_F(HooksSetAndUnSet, SettingAgainMovesTheReportsToTheNewWindow) {
  ASSERT_TRUE(ZKHooks_SetHooks(Target()));
  InjectKey(VK_F7, 0x41, false, false);
  InjectKey(VK_F7, 0x41, false, true);
  ASSERT_TRUE(AwaitReport(Target(), WM_ZKHOOK_KEY, WM_KEYUP));
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(CountReports(Session()), 0u);
}

TEST_F(HooksSetAndUnSet, HooksWorkAgainAfterUnSetAndSet) {
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));
  ASSERT_TRUE(ZKHooks_SetHooks(Session()));
  InjectKey(VK_F7, 0x41, false, false);
  InjectKey(VK_F7, 0x41, false, true);
  EXPECT_TRUE(AwaitReport(Session(), WM_ZKHOOK_KEY, WM_KEYUP));
}

TEST_F(HooksSetAndUnSet, NoReportOfRealInputAfterUnSetHooks) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));
  POINT at = target_->ScreenCentre();
  ASSERT_TRUE(RunXdotool("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                         " click 1"));
  // A hook would have reported the click before the target received it.
  ASSERT_TRUE(AwaitMessage(Target(), WM_LBUTTONUP));
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(CountReports(Session()), 0u);
}

TEST_F(HooksSetAndUnSet, UnSetHooksOnTheSessionThreadDropsQueuedReports) {
  InjectKey(VK_F7, 0x41, false, false);
  InjectKey(VK_F7, 0x41, false, true);
  ASSERT_TRUE(AwaitQueued(Session(), WM_ZKHOOK_MOUSE, WM_ZKHOOK_ACTIVATED));
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(CountReports(Session()), 0u);
}

}  // namespace
}  // namespace hooktest
