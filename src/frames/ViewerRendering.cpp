#include "common/Trace.h"
#include "frames/PixelRoutines.h"
#include "session/ZKWindow.h"

namespace {
const COLORREF kGrey = RGB(128, 128, 128);
constexpr int kScrollLine = 8;
constexpr UINT kRepaintDelayMs = 250;
constexpr UINT kReapplyFrame = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_FRAMECHANGED;

void FillGrey(HDC dc, HBRUSH grey, int left, int top, int right, int bottom) {
  RECT r = {left, top, right, bottom};
  FillRect(dc, &r, grey);
}
}  // namespace

void ZKWindow::OnDisplayFormat(const DisplayFormatMessage& format) {
  if (!CheckCaptureToken(format.token)) return;
  ChangeFrameSize(format.width, format.height);
  UpdateScrollBars();
  UpdateScrollOffsets();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::OnDisplayFormat");
}

void ZKWindow::OnPalette(const PaletteMessage& palette) {
  if (!CheckCaptureToken(palette.token)) return;
  SetPaletteTable(palette.entries);
  RemapPalette();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::OnPalette");
}

void ZKWindow::OnDisplayUpdate(const DisplayUpdateMessage& update) {
  if (!CheckCaptureToken(update.token)) return;
  ApplyUpdate(update);
  Rect r{update.left, update.top, update.left + update.width, update.top + update.height};
  FrameToClient(&r);
  RECT changed = {r.left, r.top, r.right, r.bottom};
  InvalidateWindow(window_, &changed, FALSE, "ZKWindow::OnDisplayUpdate");
  if (!paintUpdatesAtOnce_) return;
  // The window's own paint, at once: clipped to what is invalid, so that the
  // pointer and the marks are drawn once over the new pixels.
  paintingUpdate_ = true;
  ::UpdateWindow(window_);
  paintingUpdate_ = false;
}

void ZKWindow::PaintClient(HDC dc, const RECT& r, bool forced) {
  RECT client;
  GetClientRect(window_, &client);
  if (!forced && !paintingUpdate_ && EqualRect(&r, &client)) {
    // Whole-window repaints come in bursts (format, palette, scroll, size):
    // the last of a burst paints, once.
    SetTimer(window_, TIMER_REPAINT, kRepaintDelayMs, nullptr);
    return;
  }
  GdiFlush();
  HBRUSH grey = CreateSolidBrush(kGrey);
  if (displayMode_ == ZKM_CAPTURE)
    FillRect(dc, &r, grey);
  else
    FrameMgr::Draw(dc, Rect{r.left, r.top, r.right, r.bottom});

  int clientWidth = client.right, clientHeight = client.bottom;
  int frameWidth = GetFrameFormat().Width(), frameHeight = GetFrameFormat().Height();
  if (clientWidth > frameWidth) {
    int left = (clientWidth - frameWidth) >> 1;
    FillGrey(dc, grey, 0, 0, left, clientHeight);
    FillGrey(dc, grey, left + frameWidth, 0, clientWidth, clientHeight);
  }
  if (clientHeight > frameHeight) {
    int top = (clientHeight - frameHeight) >> 1;
    FillGrey(dc, grey, 0, 0, clientWidth, top);
    FillGrey(dc, grey, 0, top + frameHeight, clientWidth, clientHeight);
  }
  DrawElements(dc);
  if (annotationModeActive_ && annotationDialog_)
    RedrawWindow(annotationDialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  DrawRemotePointer(dc);
  DeleteObject(grey);
}

void ZKWindow::RepaintNow() {
  KillTimer(window_, TIMER_REPAINT);
  HDC dc = GetDC(window_);
  RECT client;
  GetClientRect(window_, &client);
  PaintClient(dc, client, true);
  ReleaseDC(window_, dc);
}

void ZKWindow::OnPaint() {
  RECT update;
  if (!GetUpdateRect(window_, &update, FALSE)) return;
  PAINTSTRUCT ps;
  if (displayMode_ == ZKM_CAPTURE) {
    // The presenter's own client area is see-through: a paint there means the
    // screen under it may have changed.
    POINT topLeft = {update.left, update.top}, bottomRight = {update.right, update.bottom};
    ClientToScreen(window_, &topLeft);
    ClientToScreen(window_, &bottomRight);
    PostMessageA(window_, WM_ZK_DIRTYRECT, MAKEWPARAM(topLeft.x, topLeft.y),
                 MAKELPARAM(bottomRight.x, bottomRight.y));
    // Validated in every case: a region left invalid would come back as an
    // endless stream of paint messages. While capture is paused the marks
    // stand over the frozen screen.
    HDC dc = BeginPaint(window_, &ps);
    if (paused_) DrawElements(dc);
    EndPaint(window_, &ps);
    return;
  }
  HDC dc = BeginPaint(window_, &ps);
  PaintClient(dc, ps.rcPaint, false);
  EndPaint(window_, &ps);
}

bool ZKWindow::OnEraseBkgnd(HDC dc) {
  RECT r;
  if (!GetUpdateRect(window_, &r, FALSE)) GetClientRect(window_, &r);
  PaintClient(dc, r, false);
  return true;
}

void ZKWindow::DrawRemotePointer(HDC dc) {
  if (roleFlags_ & ROLE_CAPTURE) return;
  int32_t marginX = GetMarginX(), marginY = GetMarginY();
  HRGN clip = CreateRectRgn(marginX, marginY, marginX + GetFrameFormat().Width(),
                            marginY + GetFrameFormat().Height());
  SelectClipRgn(dc, clip);
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  DrawIconEx(dc, pointerX_ - static_cast<int>(arrowInfo_.xHotspot) - GetScrollX() + marginX,
             pointerY_ - static_cast<int>(arrowInfo_.yHotspot) - GetScrollY() + marginY, arrow, 0,
             0, 0, nullptr, DI_NORMAL | DI_COMPAT);
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
}

void ZKWindow::OnScroll(int bar, int code) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window_, bar, &info);
  int position = info.nPos;
  switch (code) {
    case SB_LINEUP: position -= kScrollLine; break;
    case SB_LINEDOWN: position += kScrollLine; break;
    case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: position = info.nTrackPos; break;
    case SB_TOP: position = info.nMin; break;
    case SB_BOTTOM: position = info.nMax; break;
    default: return;
  }
  SetScrollPos(window_, bar, position, TRUE);  // the system clamps it to the range
  UpdateScrollOffsets();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::OnScroll");
}

bool ZKWindow::UpdateScrollBars() {
  bool presenter = (roleFlags_ & ROLE_CAPTURE) != 0;
  RECT client;
  GetClientRect(window_, &client);
  int frameWidth = GetFrameFormat().Width(), frameHeight = GetFrameFormat().Height();
  LONG style = GetWindowLongA(window_, GWL_STYLE);
  LONG wanted = style & ~(WS_HSCROLL | WS_VSCROLL);
  if (!presenter) {
    // Judged on the client area the window would have without its bars:
    // otherwise bars, once shown, would never leave a window made exactly
    // as large as the frame.
    int width = client.right + (style & WS_VSCROLL ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    int height = client.bottom + (style & WS_HSCROLL ? GetSystemMetrics(SM_CYHSCROLL) : 0);
    bool horizontal = width < frameWidth, vertical = height < frameHeight;
    // One bar takes room that may make the other necessary.
    if (horizontal && !vertical) vertical = height - GetSystemMetrics(SM_CYHSCROLL) < frameHeight;
    if (vertical && !horizontal) horizontal = width - GetSystemMetrics(SM_CXVSCROLL) < frameWidth;
    if (horizontal) wanted |= WS_HSCROLL;
    if (vertical) wanted |= WS_VSCROLL;
  }
  if (wanted != style) {
    SetWindowLongA(window_, GWL_STYLE, wanted);
    RECT w;
    GetWindowRect(window_, &w);
    // The size message this causes runs the work again with the new frame.
    SetWindowPos(window_, nullptr, 0, 0, w.right - w.left, w.bottom - w.top, kReapplyFrame);
    return false;
  }
  Rect screen = ScreenClientRect();
  captureArea_ = RECT{screen.left, screen.top, screen.right, screen.bottom};
  SetCaptureRect(captureArea_);
  if (presenter) return true;
  SetScrollRange(SB_HORZ, client.right, frameWidth);
  SetScrollRange(SB_VERT, client.bottom, frameHeight);
  return true;
}

void ZKWindow::SetScrollRange(int bar, int clientSize, int frameSize) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  info.nPage = static_cast<UINT>(clientSize >> 2);
  info.nMin = 0;
  // The largest position is frameSize - clientSize.
  info.nMax = frameSize - clientSize + static_cast<int>(info.nPage) - 1;
  SetScrollInfo(window_, bar, &info, TRUE);
}

void ZKWindow::UpdateScrollOffsets() {
  RECT client;
  GetClientRect(window_, &client);
  int frameWidth = GetFrameFormat().Width(), frameHeight = GetFrameFormat().Height();
  int32_t scrollX = GetScrollPos(window_, SB_HORZ), scrollY = GetScrollPos(window_, SB_VERT);
  SetScrollPosition(scrollX, scrollY);
  int32_t marginX = frameWidth < client.right ? (client.right - frameWidth) >> 1 : 0;
  int32_t marginY = frameHeight < client.bottom ? (client.bottom - frameHeight) >> 1 : 0;
  SetMargin(marginX, marginY);
  AnnotationMgr::SetOffset(scrollX - marginX, scrollY - marginY);
}

bool ZKWindow::UpdateCaptureRegion() {
  if (displayMode_ != ZKM_CAPTURE) {
    WindowRegionSet::Enable(false);
    return true;
  }
  // The window keeps only its frame: the desktop under the client area stays
  // visible and clickable while it is captured.
  RECT window, client;
  GetWindowRect(window_, &window);
  GetClientRect(window_, &client);
  POINT origin = {0, 0};
  ClientToScreen(window_, &origin);
  int dx = origin.x - window.left, dy = origin.y - window.top;
  HRGN whole = CreateRectRgn(0, 0, window.right - window.left, window.bottom - window.top);
  HRGN inner = CreateRectRgn(dx, dy, dx + client.right, dy + client.bottom);
  CombineRgn(windowRegion_, whole, inner, RGN_DIFF);
  DeleteObject(whole);
  DeleteObject(inner);
  WindowRegionSet::Remove(windowRegion_, false);
  WindowRegionSet::Add(windowRegion_);
  WindowRegionSet::Enable(true);
  WindowRegionSet::Apply();
  return true;
}

void ZKWindow::OnSize(UINT sizeType) {
  if (sizeType == SIZE_MINIMIZED || !IsWindowUsable(window_)) {
    windowState_ |= WINDOW_STATE_UNUSABLE;
    SetDisplayMode();
    Trace(TRACE_LIFECYCLE, "\r\nOnSize Ignored!");
    return;
  }
  windowState_ &= ~WINDOW_STATE_UNUSABLE;
  SetDisplayMode();
  if (!UpdateScrollBars()) return;
  UpdateCaptureRegion();
  RECT client;
  GetClientRect(window_, &client);
  int roundedWidth = (client.right + 3) & ~3;
  if (roleFlags_ & ROLE_CAPTURE) {
    // The reference frame follows the same overlap rule as the viewers'
    // frames on a display format, so both stay equal without a full update.
    RectList::Clear();
    recheck_.Clear();
    ChangeFrameSize(roundedWidth, client.bottom);
    SendDisplayFormat(GetFrameFormat().Width(), GetFrameFormat().Height());
    if (!pollExclusive_) PostMessageA(window_, WM_ZK_POLL, 0, 0);
  } else {
    InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::OnSize");
  }
  UpdateScrollOffsets();
  SetPlacement(captureArea_.left, captureArea_.top, captureArea_.right, captureArea_.bottom, true);
  if (annotationDialog_) {
    RECT dialog;
    GetWindowRect(annotationDialog_, &dialog);
    SetWindowPos(annotationDialog_, nullptr, roundedWidth - (dialog.right - dialog.left), 0, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void ZKWindow::OnMove() {
  if (!IsWindowUsable(window_)) {
    windowState_ |= WINDOW_STATE_UNUSABLE;
    SetDisplayMode();
    Trace(TRACE_LIFECYCLE, "\r\nOnMove Ignored!");
    return;
  }
  UpdateCaptureRegion();
  windowState_ &= ~WINDOW_STATE_UNUSABLE;
  SetDisplayMode();
  Rect screen = ScreenClientRect();
  captureArea_ = RECT{screen.left, screen.top, screen.right, screen.bottom};
  SetCaptureRect(captureArea_);
  if (roleFlags_ & ROLE_CAPTURE) {
    SetPlacement(screen.left, screen.top, screen.right, screen.bottom, true);
    if (!pollExclusive_) PostMessageA(window_, WM_ZK_POLL, 0, 0);
  }
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::OnMove");
}
