// Reports about top-level windows of another process (Wine's notepad) and of
// the test's own process: activation, minimising, hiding, destruction.

#include "HookedDesktop.h"

namespace hooktest {
namespace {

class HooksWindowReports : public HookedDesktop {
 protected:
  void SetUp() override {
    HookedDesktop::SetUp();
    if (HasFatalFailure()) return;
    StartNotepad();
  }

  void TearDown() override {
    if (process_.hProcess) {
      TerminateProcess(process_.hProcess, 0);
      WaitForSingleObject(process_.hProcess, 10000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    HookedDesktop::TearDown();
  }

  // Activation is announced before the window is shown: wait for notepad to
  // idle in its message loop, so that later changes are not overtaken by the
  // rest of its start.
  void StartNotepad() {
    wchar_t command[] = L"notepad.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process_));
    ASSERT_EQ(WaitForInputIdle(process_.hProcess, 10000), 0u);
    ASSERT_TRUE(PumpUntil([&] {
      const Seen* report = log_.Find([&](const Seen& seen) {
        return seen.message == WM_ZKHOOK_ACTIVATED && OwnedByNotepad(seen.wParam);
      });
      if (report) notepad_ = reinterpret_cast<HWND>(report->wParam);
      return report != nullptr;
    })) << "no activation report for notepad";
    ASSERT_TRUE(IsWindowVisible(notepad_));
    log_.Clear();
  }

  bool OwnedByNotepad(WPARAM window) const {
    DWORD process = 0;
    GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &process);
    return process == process_.dwProcessId;
  }

  WPARAM Notepad() const { return reinterpret_cast<WPARAM>(notepad_); }

  // Waits until notepad's thread has handled everything sent to it so far.
  bool SyncWithNotepad() {
    DWORD_PTR result;
    return SendMessageTimeoutW(notepad_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
  }

  PROCESS_INFORMATION process_ = {};
  HWND notepad_ = nullptr;
};

TEST_F(HooksWindowReports, ActivatingAnotherProcessWindowIsReported) {
  SetForegroundWindow(Target());
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_ACTIVATED, reinterpret_cast<WPARAM>(Target())));
  log_.Clear();
  SetForegroundWindow(notepad_);
  EXPECT_TRUE(AwaitReport(Session(), WM_ZKHOOK_ACTIVATED, Notepad()));
}

TEST_F(HooksWindowReports, MinimisingIsReportedAsChangeOneAndNotAsHiding) {
  ShowWindow(notepad_, SW_MINIMIZE);
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_CHANGED, Notepad()));
  EXPECT_EQ(FindReport(Session(), WM_ZKHOOK_CHANGED, Notepad())->lParam, ZKHOOK_CHANGE_MINIMIZED);
  // ShowWindow on another thread's window returns once that thread is done,
  // so every report it caused is queued before the flush marker.
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(FindReport(Session(), WM_ZKHOOK_HIDDEN, Notepad()), nullptr);
}

TEST_F(HooksWindowReports, RestoringAndMaximisingAreNotMinimising) {
  ShowWindow(notepad_, SW_MAXIMIZE);
  ShowWindow(notepad_, SW_RESTORE);
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(FindReport(Session(), WM_ZKHOOK_CHANGED, Notepad()), nullptr);
}

TEST_F(HooksWindowReports, HidingIsReported) {
  ShowWindow(notepad_, SW_HIDE);
  EXPECT_TRUE(AwaitReport(Session(), WM_ZKHOOK_HIDDEN, Notepad()));
}

TEST_F(HooksWindowReports, DestroyingIsReported) {
  PostMessageW(notepad_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(AwaitReport(Session(), WM_ZKHOOK_DESTROYED, Notepad()));
  EXPECT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0);
}

TEST_F(HooksWindowReports, NothingIsReportedAfterUnSetHooks) {
  ASSERT_TRUE(ZKHooks_UnSetHooks(Session()));
  ShowWindow(notepad_, SW_MINIMIZE);
  SetForegroundWindow(notepad_);
  PostMessageW(notepad_, WM_CLOSE, 0, 0);
  // The process ends after its window is gone: any report is queued by then.
  ASSERT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0);
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_EQ(CountReports(Session()), 0u);
}

TEST_F(HooksWindowReports, APaintInAnotherProcessIsReportedWhereItDraws) {
  HWND edit = FindWindowExW(notepad_, nullptr, L"Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  RECT client;
  ASSERT_TRUE(GetClientRect(edit, &client));
  MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&client), 2);
  ASSERT_TRUE(SyncWithNotepad());
  log_.Clear();
  InvalidateRect(edit, nullptr, TRUE);
  auto coversEdit = [&](const Seen& seen) {
    if (seen.window != Session() || seen.message != WM_ZKHOOK_DRAWN) return false;
    RECT drawn = {LOWORD(seen.wParam), HIWORD(seen.wParam), LOWORD(seen.lParam),
                  HIWORD(seen.lParam)};
    RECT both;
    return IntersectRect(&both, &drawn, &client) && EqualRect(&both, &client);
  };
  EXPECT_TRUE(PumpUntil([&] { return log_.Find(coversEdit) != nullptr; }))
      << "no drawing report covering notepad's edit area";
}

TEST_F(HooksWindowReports, FocusedWindowIsFoundInAnotherProcess) {
  SetForegroundWindow(notepad_);
  ASSERT_TRUE(SyncWithNotepad());
  HWND edit = FindWindowExW(notepad_, nullptr, L"Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(ZKHooks_GetFocusedWindow(), edit);
}

TEST_F(HooksWindowReports, OwnWindowsAreReportedButNotTheSessionWindowItself) {
  ShowWindow(Target(), SW_HIDE);
  ShowWindow(Session(), SW_MINIMIZE);
  ShowWindow(Session(), SW_HIDE);
  ASSERT_TRUE(session_->FlushPosted());
  EXPECT_NE(FindReport(Session(), WM_ZKHOOK_HIDDEN, reinterpret_cast<WPARAM>(Target())), nullptr);
  EXPECT_EQ(log_.Count([&](const Seen& seen) {
    return seen.message >= WM_ZKHOOK_MOUSE && seen.message <= WM_ZKHOOK_ACTIVATED &&
           seen.message != WM_ZKHOOK_MOUSE && seen.message != WM_ZKHOOK_KEY &&
           seen.wParam == reinterpret_cast<WPARAM>(Session());
  }), 0u);
}

}  // namespace
}  // namespace hooktest
