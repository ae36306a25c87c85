// The hole in the host's window: while the presenter captures, the session
// window's rectangle is cut out of the host window (its parent), so that the
// host window never covers what lies under the see-through frame. The host
// window is subclassed to keep the hole right as it is sized and as the
// display mode changes.
//
// Threads: the subclass procedure runs on the host window's thread;
// UpdateHostHole also runs on whichever thread calls ZK_SetPosition, and,
// to take the hole away, on the worker as the session ends. It runs under
// the position lock, which also guards the requested rectangle it reads.

#include <atomic>

#include "common/Trace.h"
#include "session/ZKWindow.h"

namespace {
// One subclass per process: the window and its own procedure while ours is
// installed.
std::atomic<WNDPROC> g_hostPreviousProc{nullptr};
std::atomic<HWND> g_subclassedHost{nullptr};
// Rectangles of the last hole made (screen coordinates), and whether the
// host window was unusable when last asked, so the hole is due once it is
// usable again. Guarded by the position lock.
RECT g_lastSessionRect = {};
RECT g_lastHostRect = {};
bool g_holeDirty = false;

LPCSTR SessionProperty() { return MAKEINTATOM(GetSessionAtom()); }

bool OwnsWindow(HWND window) {
  return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// The host window minus `session`, in the host window's own coordinates.
HRGN HoleRegion(const RECT& host, const RECT& session) {
  HRGN region = CreateRectRgn(0, 0, host.right - host.left, host.bottom - host.top);
  HRGN hole = CreateRectRgn(session.left - host.left, session.top - host.top,
                            session.right - host.left, session.bottom - host.top);
  if (region && hole) CombineRgn(region, region, hole, RGN_DIFF);
  if (hole) DeleteObject(hole);
  return region;
}

void SetHostRegion(HWND host, HRGN region) {
  // Once set, the region belongs to the system; a refused one is still ours.
  if (!SetWindowRgn(host, region, TRUE) && region) DeleteObject(region);
}

bool HoleIsRemoved() {
  return IsRectEmpty(&g_lastSessionRect) && IsRectEmpty(&g_lastHostRect) && !g_holeDirty;
}

void ForgetHole() {
  SetRectEmpty(&g_lastSessionRect);
  SetRectEmpty(&g_lastHostRect);
  g_holeDirty = false;
}
}  // namespace

bool ZKWindow::SubclassHost(HWND host) {
  if (g_hostPreviousProc || !IsWindow(host)) return true;
  // The previous procedure is known before ours can be called.
  g_hostPreviousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(host, GWLP_WNDPROC));
  SetPropA(host, SessionProperty(), this);
  if (!SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostWindowProc))) {
    // A window of another process cannot be subclassed.
    RemovePropA(host, SessionProperty());
    g_hostPreviousProc = nullptr;
    return true;
  }
  g_subclassedHost = host;
  return true;
}

bool ZKWindow::UnsubclassHost(HWND host) {
  WNDPROC previous = g_hostPreviousProc;
  if (!previous) return true;
  // The host may have named another parent since; the procedure goes back
  // to the window it was taken from, never to another one.
  HWND subclassed = g_subclassedHost;
  if (host != subclassed) Trace(TRACE_WARNING, "\r\nUnsubclassHost: the parent changed");
  RemovePropA(subclassed, SessionProperty());
  SetWindowLongPtrA(subclassed, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  g_hostPreviousProc = nullptr;
  g_subclassedHost = nullptr;
  return true;
}

LRESULT CALLBACK ZKWindow::HostWindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  WNDPROC previous = g_hostPreviousProc;
  auto* self = static_cast<ZKWindow*>(GetPropA(window, SessionProperty()));
  if (self && message == GetSetRegionMessage()) {
    self->UpdateHostHole(false);
    return 0;
  }
  if (self && message == WM_SIZE) self->UpdateHostHole(false);
  if (!previous) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(previous, window, message, wParam, lParam);
}

bool ZKWindow::UpdateHostHole(bool remove) {
  HWND host = parent_;
  // Setting a region sends to the window's thread, which may be waiting for
  // the position lock right now: the hole is made on that thread only.
  if (host && !remove && !OwnsWindow(host)) {
    PostMessageA(host, GetSetRegionMessage(), 0, 0);
    return true;
  }
  {
    CriticalSectionLock lock(positionLock_);
    if (!host || !IsWindowUsable(host)) {
      g_holeDirty = true;
      return true;
    }
    const int mode = displayMode_;
    bool capturing = (mode == ZKM_CAPTURE || mode == ZKM_CAPTUREIDLE) &&
                     (GetWindowCount() > 0 || captureDesktop_);
    if (capturing && !remove) {
      RECT hostRect;
      GetWindowRect(host, &hostRect);
      const RECT& session = requestedPosition_;
      if (EqualRect(&hostRect, &g_lastHostRect) && EqualRect(&session, &g_lastSessionRect) &&
          !g_holeDirty)
        return true;
      SetHostRegion(host, HoleRegion(hostRect, session));
      g_lastHostRect = hostRect;
      g_lastSessionRect = session;
      g_holeDirty = false;
      return true;
    }
    if (HoleIsRemoved()) return true;
    ForgetHole();
  }
  // On another thread (the worker, as the session ends) the lock is left
  // first, for the reason above.
  SetHostRegion(host, nullptr);
  return true;
}
