#include "session/ZKWindow.h"

namespace {
constexpr uint32_t kLeaveUnchanged = 0xFFFFFFFF;
constexpr int kMinimumPlacedSize = 16;
constexpr UINT kPlaceAndShow = SWP_ASYNCWINDOWPOS | SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER;
constexpr UINT kPlaceAndHide = SWP_ASYNCWINDOWPOS | SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER;

// Until the host has given both a position and a size once, the session
// window stays hidden whatever it asks.
bool g_positionEverGiven = false;
bool g_sizeEverGiven = false;

int FrameWidth(HWND window) {
  RECT w, c;
  if (!window || !GetWindowRect(window, &w) || !GetClientRect(window, &c)) return 0;
  return ((w.right - w.left) - (c.right - c.left)) >> 1;
}

// Widens a window rectangle so that its client width is a multiple of 4.
void RoundClientWidth(RECT* r, int frame) {
  int width = r->right - r->left;
  r->right = r->left + ((width - 2 * frame + 3) & ~3) + 2 * frame;
}
}  // namespace

bool ZKWindow::SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, bool visible) {
  HWND window = window_;  // once: the worker may end it meanwhile
  {
    CriticalSectionLock lock(positionLock_);
    requestedVisible_ = visible;
    bool positionGiven = !(x == kLeaveUnchanged && y == kLeaveUnchanged);
    bool sizeGiven = !(width == kLeaveUnchanged && height == kLeaveUnchanged);
    g_positionEverGiven |= positionGiven;
    g_sizeEverGiven |= sizeGiven;
    // Asynchronous: the worker may be waiting for this lock right now.
    if ((positionGiven || sizeGiven) && window) ShowWindowAsync(window, SW_HIDE);

    RECT& r = requestedPosition_;
    if (positionGiven) OffsetRect(&r, static_cast<int>(x) - r.left, static_cast<int>(y) - r.top);
    if (sizeGiven) {
      r.right = r.left + static_cast<int>(width);
      r.bottom = r.top + static_cast<int>(height);
    }
    if (r.right - r.left > kMinimumPlacedSize) RoundClientWidth(&r, FrameWidth(window));

    bool placeable = r.right - r.left >= kMinimumPlacedSize &&
                     r.bottom - r.top >= kMinimumPlacedSize && !(r.right < 0 && r.bottom < 0) &&
                     !(r.left > GetSystemMetrics(SM_CXSCREEN) &&
                       r.bottom > GetSystemMetrics(SM_CYSCREEN));
    if (placeable) SetPlacement(r.left, r.top, r.right, r.bottom, false);
    if (!g_positionEverGiven || !g_sizeEverGiven) requestedVisible_ = 0;
  }
  // Every call starts the settling time again.
  RestartTimerOnWorker(TIMER_POSITION);
  UpdateHostHole(false);
  return true;
}

void ZKWindow::ApplyPosition() {
  RECT r;
  bool visible;
  {
    CriticalSectionLock lock(positionLock_);
    RECT current;
    GetWindowRect(window_, &current);
    bool shown = IsWindowVisible(window_) != FALSE;
    if (shown == (requestedVisible_ != 0) && EqualRect(&current, &requestedPosition_)) return;
    r = requestedPosition_;
    visible = requestedVisible_ != 0;
  }
  if (r.right - r.left > 0) RoundClientWidth(&r, FrameWidth(window_));
  SetWindowPos(window_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               visible ? kPlaceAndShow : kPlaceAndHide);
  UpdateCaptureRegion();
  // Showing and placing at once delivers the size and move messages while the
  // window is still hidden; they found it unusable. Look again now.
  bool markedUnusable = (windowState_ & WINDOW_STATE_UNUSABLE) != 0;
  if (markedUnusable == IsWindowUsable(window_)) OnSize(SIZE_RESTORED);
}
