#include "hooks/DrawingHooks.h"

#include <cstdint>

#include "hooks/DesktopHooks.h"
#include "hooks/DrawnAreas.h"
#include "hooks/ReportSink.h"
#include "hooks/ZKHooks.h"

namespace zkhooks {
namespace {

// Hover effects are drawn near the pointer: a move reports this far around
// it rather than its whole window, which may cover the screen.
constexpr LONG kHoverReach = 64;
// A process that moves the pointer or repaints in a tight loop reports the
// same place at most this often; the presenter looks there on its next tick
// anyway.
constexpr DWORD kRepeatIntervalMs = 30;

// Per process (this is not the shared section): what this process last
// reported, to drop repeats; its threads take turns.
SRWLOCK g_lastLock = SRWLOCK_INIT;
RECT g_lastReported = {};
DWORD g_lastReportTicks = 0;

bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool IsRepeat(const RECT& screen) {
  DWORD now = GetTickCount();
  AcquireSRWLockExclusive(&g_lastLock);
  bool repeat = Contains(g_lastReported, screen) && now - g_lastReportTicks < kRepeatIntervalMs;
  if (!repeat) {
    g_lastReported = screen;
    g_lastReportTicks = now;
  }
  ReleaseSRWLockExclusive(&g_lastLock);
  return repeat;
}

// One report waits in the session's queue at a time: what is drawn while it
// waits is kept for the session to take as it handles that report. The
// report carries a drawn place of its own all the same.
void ReportDrawn(HWND window, RECT screen) {
  if (IsRectEmpty(&screen) || !IsWindowVisible(window)) return;
  PendingReport pending;
  // The session window reports its own paints; its private messages would
  // otherwise echo every report back.
  if (!pending.Target() || pending.Target() == window || IsRepeat(screen)) return;
  const uint64_t area = PackArea(screen);
  KeepDrawnArea(area);
  if (area && AnnounceDrawn(pending.Target()) &&
      !pending.Post(WM_ZKHOOK_DRAWN, static_cast<uint32_t>(area),
                    static_cast<uint32_t>(area >> 32))) {
    WithdrawDrawnAnnouncement(pending.Target());
  }
}

void ReportWindow(HWND window) {
  RECT r;
  if (GetWindowRect(window, &r)) ReportDrawn(window, r);
}

void ReportUpdateRegion(HWND window) {
  RECT r;
  if (!GetUpdateRect(window, &r, FALSE)) return;
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  ReportDrawn(window, r);
}

void ReportAroundPointer(HWND window, POINT pointer) {
  RECT box = {pointer.x - kHoverReach, pointer.y - kHoverReach, pointer.x + kHoverReach,
               pointer.y + kHoverReach};
  RECT bounds, both;
  if (GetWindowRect(window, &bounds) && IntersectRect(&both, &box, &bounds)) {
    ReportDrawn(window, both);
  }
}

bool IsKeyOrClick(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_LBUTTONDOWN && message <= WM_MOUSELAST) ||
         (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK);
}

// A queued message is seen as it is taken, before its window handles it: the
// presenter looks again a little later for what was drawn after the report.
LRESULT CALLBACK GetMessageProc(int code, WPARAM removal, LPARAM data) {
  if (code == HC_ACTION && removal == PM_REMOVE) {
    const auto* message = reinterpret_cast<const MSG*>(data);
    if (message->hwnd) {
      if (message->message == WM_PAINT) {
        ReportUpdateRegion(message->hwnd);
      } else if (message->message == WM_MOUSEMOVE || message->message == WM_NCMOUSEMOVE) {
        ReportAroundPointer(message->hwnd, message->pt);
      } else if (IsKeyOrClick(message->message)) {
        ReportWindow(message->hwnd);
      }
    }
  }
  return CallNextHookEx(nullptr, code, removal, data);
}

bool DrawsWhenSent(UINT message) {
  switch (message) {
    case WM_PAINT:  // UpdateWindow and RedrawWindow paint through SendMessage
    case WM_NCPAINT:
    case WM_SETTEXT:
    case WM_WINDOWPOSCHANGED:
    case WM_HSCROLL:
    case WM_VSCROLL:
      return true;
    default:
      return false;
  }
}

// A sent message is seen once its window has handled it: what it drew is
// there to be grabbed.
LRESULT CALLBACK CallWndProcRet(int code, WPARAM fromThisThread, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(data);
    if (call->hwnd && DrawsWhenSent(call->message)) ReportWindow(call->hwnd);
    if (call->hwnd) ReportIfHidden(*call);
  }
  return CallNextHookEx(nullptr, code, fromThisThread, data);
}

}  // namespace

bool InstallDrawingHooks(HINSTANCE module, HookPair* hooks, DWORD thread) {
  return hooks->Install(module, {WH_GETMESSAGE, GetMessageProc},
                        {WH_CALLWNDPROCRET, CallWndProcRet}, thread);
}

}  // namespace zkhooks
