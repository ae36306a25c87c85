#include "session/ZKWindow.h"

namespace {
const COLORREF kGrey = RGB(128, 128, 128);
}

void ZKWindow::OnSize(UINT sizeType) {
  if (!window_ || sizeType == SIZE_MINIMIZED || !IsWindowUsable(window_))
    windowState_ |= WINDOW_STATE_UNUSABLE;
  else
    windowState_ &= ~WINDOW_STATE_UNUSABLE;
}

void ZKWindow::OnMove() {}

void ZKWindow::OnPaint() {
  // Every paint validates the window: an unvalidated region would come back
  // as an endless stream of paint messages.
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  HBRUSH grey = CreateSolidBrush(kGrey);
  FillRect(dc, &ps.rcPaint, grey);
  DeleteObject(grey);
  EndPaint(window_, &ps);
}

bool ZKWindow::OnEraseBkgnd(HDC dc) {
  (void)dc;
  return true;
}

void ZKWindow::OnScroll(int bar, int code) {
  (void)bar;
  (void)code;
}

void ZKWindow::OnDisplayFormat(const uint8_t*, uint32_t) {}
void ZKWindow::OnDisplayUpdate(const uint8_t*, uint32_t) {}
void ZKWindow::OnPalette(const uint8_t*, uint32_t) {}
