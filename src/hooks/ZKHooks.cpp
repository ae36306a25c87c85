// The exported functions of ZKHooks.dll. They run on the engine's threads
// (normally its worker) and serialise among themselves; the hooks run on the
// hook thread and, for the desktop hooks, inside other processes.

#include "hooks/ZKHooks.h"

#include "hooks/ClickToShareMode.h"
#include "hooks/DrawnAreas.h"
#include "hooks/HookThread.h"
#include "hooks/InputHooks.h"
#include "hooks/ReportSink.h"

namespace {

SRWLOCK g_lifecycle = SRWLOCK_INIT;
zkhooks::HookThread g_hookThread;

class LifecycleLock {
 public:
  LifecycleLock() { AcquireSRWLockExclusive(&g_lifecycle); }
  ~LifecycleLock() { ReleaseSRWLockExclusive(&g_lifecycle); }
  LifecycleLock(const LifecycleLock&) = delete;
  LifecycleLock& operator=(const LifecycleLock&) = delete;
};

// Reports posted before the hooks went away may still wait in the session
// window's queue. Only its own thread can take them out; the engine removes
// the hooks on that thread, so "no report afterwards" holds for it. (A
// drawing report the engine posted itself goes too: it only matters while
// capturing, and the engine removes the hooks as capture ends.)
void DiscardQueuedReports(HWND session) {
  if (!session || GetWindowThreadProcessId(session, nullptr) != GetCurrentThreadId()) return;
  MSG message;
  while (PeekMessageW(&message, session, WM_ZKHOOK_DRAWN, WM_ZKHOOK_ACTIVATED, PM_REMOVE)) {
  }
}

}  // namespace

BOOL ZKHooks_SetHooks(HWND sessionWindow) {
  if (!IsWindow(sessionWindow)) return FALSE;
  LifecycleLock lock;
  zkhooks::SetReportTarget(sessionWindow);
  if (g_hookThread.Start()) return TRUE;
  zkhooks::CloseReports(sessionWindow);
  return FALSE;
}

BOOL ZKHooks_UnSetHooks(HWND sessionWindow) {
  {
    LifecycleLock lock;
    zkhooks::CloseReports(sessionWindow);
    g_hookThread.Stop();
    zkhooks::DisarmClickToShare();
  }
  DiscardQueuedReports(sessionWindow);
  return TRUE;
}

BOOL ZKHooks_ClickToShare(void) {
  LifecycleLock lock;
  if (!g_hookThread.IsRunning()) return FALSE;
  zkhooks::ArmClickToShare();
  return TRUE;
}

HWND ZKHooks_GetFocusedWindow(void) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  DWORD thread = GetWindowThreadProcessId(foreground, nullptr);
  if (!GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

DWORD ZKHooks_GetLastLocalMouseTicks(void) { return zkhooks::LastLocalMouseTicks(); }

UINT ZKHooks_TakeDrawnAreas(HWND sessionWindow, RECT* areas, UINT capacity) {
  if (!sessionWindow || sessionWindow != zkhooks::ReportTarget() || !areas ||
      capacity < ZKHOOK_DRAWN_AREAS)
    return 0;
  return zkhooks::TakeDrawnAreas(sessionWindow, areas, capacity);
}
