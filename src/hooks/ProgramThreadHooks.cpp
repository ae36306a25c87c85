#include "hooks/ProgramThreadHooks.h"

#include <vector>

#include "hooks/DesktopHooks.h"
#include "hooks/DrawingHooks.h"

namespace zkhooks {
namespace {

// How often threads without windows are let go. Their hooks cost only while
// they take messages, so there is no hurry.
constexpr UINT kPruneIntervalMs = 2000;
// A thread asking waits this long at most: the hook thread answers at once
// unless it is ending, and then the hooks are going anyway.
constexpr UINT kAskLimitMs = 200;
constexpr UINT kWatchThread = WM_APP + 1;  // wParam thread, lParam process
constexpr wchar_t kWatcherClass[] = L"ZKHooksThreadWatcher";

// Shared by every process that maps this DLL: the hook thread's watcher
// window (a HWND fits in a LONG on Win32), null when nobody answers.
__attribute__((section(".shared"), shared)) volatile LONG g_watcher = 0;

// The hook thread's own instance, for the timer, which carries no context.
thread_local ProgramThreadHooks* t_current = nullptr;

bool IsWow64(HANDLE process) {
  BOOL wow64 = FALSE;
  return IsWow64Process(process, &wow64) && wow64;
}

// A program of our own kind (32-bit) can load this library.
bool IsOurKind(DWORD processId) {
  if (processId == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  bool ours = IsWow64(process);
  CloseHandle(process);
  return ours;
}

BOOL CALLBACK NoteWindow(HWND, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

bool HasWindows(DWORD thread) {
  bool found = false;
  EnumThreadWindows(thread, NoteWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

LONG AsShared(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

}  // namespace

bool OnWideDesktop() { return IsWow64(GetCurrentProcess()); }

void AskToBeWatched() {
  HWND watcher =
      reinterpret_cast<HWND>(static_cast<LONG_PTR>(InterlockedCompareExchange(&g_watcher, 0, 0)));
  if (!watcher) return;
  DWORD_PTR answer;
  SendMessageTimeoutW(watcher, kWatchThread, GetCurrentThreadId(), GetCurrentProcessId(),
                      SMTO_ABORTIFHUNG, kAskLimitMs, &answer);
}

bool ProgramThreadHooks::Start(HINSTANCE module) {
  module_ = module;
  t_current = this;
  timer_ = SetTimer(nullptr, 0, kPruneIntervalMs, OnPruneTimer);
  // Answering before the global hook asks, and asked before the present
  // windows are looked at: a window made meanwhile is not missed.
  if (!timer_ || !CreateWatcher() ||
      !InstallDesktopHook(module, &changes_)) {
    Stop();
    return false;
  }
  EnumWindows(WatchTopLevel, reinterpret_cast<LPARAM>(this));
  return true;
}

void ProgramThreadHooks::Stop() {
  changes_.Remove();
  if (watcher_) {
    InterlockedCompareExchange(&g_watcher, 0, AsShared(watcher_));
    DestroyWindow(watcher_);
  }
  if (timer_) KillTimer(nullptr, timer_);
  watcher_ = nullptr;
  timer_ = 0;
  for (auto& entry : hooked_) entry.second.Remove();
  hooked_.clear();
  if (t_current == this) t_current = nullptr;
}

bool ProgramThreadHooks::CreateWatcher() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WatcherProc;
  windowClass.hInstance = module_;
  windowClass.lpszClassName = kWatcherClass;
  if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  watcher_ = CreateWindowExW(0, kWatcherClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module_,
                             nullptr);
  if (!watcher_) return false;
  InterlockedExchange(&g_watcher, AsShared(watcher_));
  return true;
}

LRESULT CALLBACK ProgramThreadHooks::WatcherProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message != kWatchThread) return DefWindowProcW(window, message, wParam, lParam);
  if (t_current) t_current->Watch(static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
  return 0;
}

void CALLBACK ProgramThreadHooks::OnPruneTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (t_current) t_current->Prune();
}

BOOL CALLBACK ProgramThreadHooks::WatchTopLevel(HWND window, LPARAM self) {
  DWORD processId = 0;
  DWORD thread = GetWindowThreadProcessId(window, &processId);
  reinterpret_cast<ProgramThreadHooks*>(self)->Watch(thread, processId);
  return TRUE;
}

void ProgramThreadHooks::Watch(DWORD thread, DWORD processId) {
  if (!thread || hooked_.count(thread) || !IsOurKind(processId)) return;
  // A thread that ended meanwhile takes no hooks; it is simply not kept.
  if (!InstallDrawingHooks(module_, &hooked_[thread], thread)) hooked_.erase(thread);
}

void ProgramThreadHooks::Prune() {
  std::vector<DWORD> gone;
  for (const auto& entry : hooked_) {
    if (!HasWindows(entry.first)) gone.push_back(entry.first);
  }
  for (DWORD thread : gone) {
    hooked_[thread].Remove();
    hooked_.erase(thread);
  }
}

}  // namespace zkhooks
