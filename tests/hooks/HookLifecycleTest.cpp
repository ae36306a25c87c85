// Setting, re-targeting and removing the hooks.

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <set>

#include "HookedDesktop.h"

namespace hooktest {
namespace {

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
  }
  CloseHandle(snapshot);
  return threads;
}

// The thread that ZKHooks_SetHooks starts, opened to be held still.
HANDLE SetHooksAndOpenTheirThread(HWND session) {
  const std::set<DWORD> before = ThreadsOfThisProcess();
  if (!ZKHooks_SetHooks(session)) return nullptr;
  HANDLE started = nullptr;
  for (DWORD id : ThreadsOfThisProcess()) {
    if (before.count(id)) continue;
    if (started) CloseHandle(started);
    started = OpenThread(THREAD_SUSPEND_RESUME | SYNCHRONIZE, FALSE, id);
  }
  return started;
}

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

// A hook thread held still past its stop keeps its own hooks until it runs
// again; when it does, it removes those, not the ones of the thread started
// after it.
TEST_F(HooksSetAndUnSet, AHookThreadThatOutlivesItsStopLeavesItsSuccessorsHooksAlone) {
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));
  HANDLE old = SetHooksAndOpenTheirThread(Session());
  ASSERT_NE(old, nullptr) << "no hook thread found";
  ASSERT_NE(SuspendThread(old), static_cast<DWORD>(-1));
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));  // gives up on the held thread
  ASSERT_TRUE(ZKHooks_SetHooks(Session()));
  ResumeThread(old);
  EXPECT_EQ(WaitForSingleObject(old, 10000), WAIT_OBJECT_0) << "the old hook thread did not end";
  CloseHandle(old);
  log_.Clear();
  InjectKey(VK_F7, 0x41, false, false);
  InjectKey(VK_F7, 0x41, false, true);
  EXPECT_TRUE(AwaitReport(Session(), WM_ZKHOOK_KEY, WM_KEYUP)) << "the new thread lost its hooks";
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
