#include <algorithm>

#include "common/Trace.h"
#include "session/ZKWindow.h"

namespace {
constexpr int32_t kPointerBandHalf = 32;
constexpr int32_t kPointerBandHeight = 64;
constexpr int kPassesPerPalette = 4;
// A report comes as a window starts to paint, or before the platform has put
// its drawing on the screen (which it may defer by tens of milliseconds).
// What the first look missed, the second finds: after the reports have
// stopped for this long, or at the latest this long after the first one.
constexpr uint32_t kRecheckDelayMs = 100;
constexpr uint32_t kRecheckLimitMs = 400;

// Where the progressive poll stands: the next band and the passes counted at
// their middle band (the palette is rebuilt every fourth pass).
int g_pollBand = 0;
int g_halfPasses = 0;

Rect ClientRect(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return Rect{r.left, r.top, r.right, r.bottom};
}
}  // namespace

void ZKWindow::OnPoll(int bands) {
  if (!(roleFlags_ & ROLE_CAPTURE)) return;
  Rect client = ClientRect(window_);
  if (bands == 0) {
    if (AcceptsRect(client)) RectList::Add(client);
    SetPalettePending(true);
    return;
  }
  // The index runs from 0 to N: N + 1 ticks per pass, the last one covering
  // the rows that the division leaves over.
  if (g_pollBand > bands) g_pollBand = 0;
  int32_t height = client.Height();
  int32_t bandHeight = height / bands;
  int32_t top = g_pollBand * bandHeight;
  int32_t bottom = top + bandHeight < height ? top + bandHeight : height;
  RectList::Add(client.left, top, client.right, bottom);

  if (g_pollBand == bands / 2 && ++g_halfPasses >= kPassesPerPalette) {
    SetPalettePending(true);
    g_halfPasses = 0;
  }
  int32_t pointerTop = std::max(pointerY_ - kPointerBandHalf, 0);
  int32_t pointerBottom = pointerTop + kPointerBandHeight < height ? pointerTop + kPointerBandHeight
                                                                   : height;
  if (pointerBottom != pointerTop) RectList::Add(client.left, pointerTop, client.right, pointerBottom);
  ++g_pollBand;
}

void ZKWindow::OnScreenChanged(WPARAM topLeft, LPARAM bottomRight) {
  Rect changed{LOWORD(topLeft), HIWORD(topLeft), LOWORD(bottomRight), HIWORD(bottomRight)};
  Rect client = ScreenClientRect();
  Rect inside = Intersect(changed, client);
  if (inside.IsEmpty() || pollExclusive_ || !AcceptsRect(inside)) return;
  Rect local{inside.left - client.left, inside.top - client.top, inside.right - client.left,
             inside.bottom - client.top};
  RectList::Add(local);
  const uint32_t now = GetTickCount();
  if (recheck_.IsEmpty()) recheckSince_ = now;
  recheck_.Add(local);
  recheckLastReport_ = now;
}

uint32_t ZKWindow::RecheckDueIn() const {
  const uint32_t now = GetTickCount();
  const uint32_t quiet = now - recheckLastReport_, waited = now - recheckSince_;
  if (quiet >= kRecheckDelayMs || waited >= kRecheckLimitMs) return 0;
  return std::min(kRecheckDelayMs - quiet, kRecheckLimitMs - waited);
}

void ZKWindow::TakeDueRechecks() {
  if (recheck_.IsEmpty() || RecheckDueIn() > 0) return;
  Rect r;
  while (recheck_.TakeHead(&r)) RectList::Add(r);
}

bool ZKWindow::AcceptsRect(const Rect& r) const {
  if (r.Width() == 0 || r.Height() == 0) return false;
  if (dynamicUpdateThreshold_ == 0 || pollProgressive_ == 0) return true;
  Rect client = ClientRect(window_);
  if (client.IsEmpty()) return true;
  // A share this large is left to the poll.
  return AreaPercent(r, client) < dynamicUpdateThreshold_;
}

bool ZKWindow::SendPendingUpdates() {
  TakeDueRechecks();
  if (IsFullFrameOwed() && !paused_ && GetQueuedBytes() < GetMaxQueueSize()) SendFullFrame();
  Rect r;
  while (!RectList::IsEmpty() && !paused_ && GetQueuedBytes() < GetMaxQueueSize()) {
    RectList::TakeHead(&r);
    SendRect(r.left & ~3, r.top, (r.right + 3) & ~3, r.bottom);
  }
  if (GetQueuedBytes() >= GetMaxQueueSize())
    Trace(TRACE_LIFECYCLE, "\r\nThrottling...  EventQueue full - (%d bytes)",
          static_cast<int>(GetQueuedBytes()));
  return true;
}

Rect ZKWindow::ScreenClientRect() const {
  RECT r;
  GetClientRect(window_, &r);
  POINT origin = {0, 0};
  ClientToScreen(window_, &origin);
  return Rect{origin.x, origin.y, origin.x + r.right, origin.y + r.bottom};
}
