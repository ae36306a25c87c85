#include "common/Trace.h"
#include "hooks/ZKHooks.h"
#include "session/ZKWindow.h"

namespace {
constexpr UINT kFrameRefresh =
    SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
constexpr UINT kRaiseWithFrameChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_FRAMECHANGED;

// Raises a window above every other non-topmost window without leaving it
// topmost (a trip to the topmost band and back), and without taking the keyboard.
void BringToTop(HWND window) {
  if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) return;
  constexpr UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
}
}  // namespace

int ZKWindow::DeriveDisplayMode() const {
  if (annotationModeActive_) return ZKM_ANNOTATION;
  if (!(roleFlags_ & ROLE_CAPTURE)) return ZKM_DISPLAY;
  bool somethingToCapture = GetWindowCount() > 0 || captureDesktop_;
  return somethingToCapture && windowState_ == 0 ? ZKM_CAPTURE : ZKM_CAPTUREIDLE;
}

void ZKWindow::SetDisplayMode() {
  int mode = DeriveDisplayMode();
  if (mode != displayMode_) {
    if (mode == ZKM_DISPLAY)
      EnterDisplay();
    else if (mode == ZKM_ANNOTATION)
      EnterAnnotation();
    else
      EnterCapture(mode);
  }
  SetWindowPos(window_, nullptr, 0, 0, 0, 0, kFrameRefresh);
}

void ZKWindow::EnterDisplay() {
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow::SetDisplayMode(ZKM_DISPLAY)");
  displayMode_ = ZKM_DISPLAY;
  UpdateScrollBars();
  SetFollowing(false);
  BringToTop(window_);
  UpdateScrollOffsets();
  UpdateCaptureRegion();
  AskHostForHole();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::SetDisplayMode");
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, kRaiseWithFrameChange);
}

void ZKWindow::EnterCapture(int mode) {
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow::SetDisplayMode(%s)",
        mode == ZKM_CAPTURE ? "ZKM_CAPTURE" : "ZKM_CAPTUREIDLE");
  displayMode_ = mode;
  UpdateScrollBars();
  int width = ((captureArea_.right - captureArea_.left) + 3) & ~3;
  int height = captureArea_.bottom - captureArea_.top;
  SetFrameFormat(width, height);  // viewers start from grey; polling fills it in
  SetCaptureFormat(width, height);
  SetCaptureRect(captureArea_);
  UpdateScrollOffsets();
  UpdateCaptureRegion();
  AskHostForHole();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::SetDisplayMode");
  SetFollowing(mode == ZKM_CAPTURE);
  // The session window ends directly above the primary shared window.
  HWND primary = GetPrimaryWindow();
  SetWindowPos(window_, primary ? primary : HWND_TOP, 0, 0, 0, 0, kRaiseWithFrameChange);
  if (primary) SetWindowPos(primary, window_, 0, 0, 0, 0, kRaiseWithFrameChange);
  SendFullFrame();
}

void ZKWindow::EnterAnnotation() {
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow::SetDisplayMode(ZKM_ANNOTATION)");
  if (roleFlags_ & ROLE_CAPTURE) {
    // The viewers' picture must be current before it freezes.
    RECT client;
    GetClientRect(window_, &client);
    SendRect(client.left, client.top, client.right, client.bottom);
  }
  displayMode_ = ZKM_ANNOTATION;
  UpdateScrollBars();
  SetFollowing(false);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, kRaiseWithFrameChange);
  UpdateCaptureRegion();
  AskHostForHole();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::SetDisplayMode");
}

void ZKWindow::AskHostForHole() {
  // The host window recomputes its hole on its own thread.
  if (parent_) PostMessageA(parent_, GetSetRegionMessage(), 0, 0);
}

void ZKWindow::EnableCapture(bool enable, uint32_t token) {
  if (enable) {
    SetToken(token);
    roleFlags_ |= ROLE_CAPTURE | ROLE_INPUT_CONTROL;
    ZKHooks_SetHooks(window_);
    SetDisplayMode();
  } else {
    roleFlags_ &= ~(ROLE_CAPTURE | ROLE_INPUT_CONTROL);
    SetDisplayMode();
    ZKHooks_UnSetHooks(window_);
  }
  if (displayMode_ != ZKM_ANNOTATION) FillFrameGrey();
}

void ZKWindow::PauseCapture(bool pause) {
  paused_ = pause;
  SetDisplayMode();
}

void ZKWindow::EnableAnnotation(bool enable) {
  if (enable)
    roleFlags_ |= ROLE_ANNOTATION;
  else
    roleFlags_ &= ~ROLE_ANNOTATION;
  ApplyAnnotationDialogRule();
}

void ZKWindow::ApplyAnnotationDialogRule() {
  if (!annotationDialog_) return;
  bool show = displayMode_ == ZKM_ANNOTATION && (roleFlags_ & ROLE_ANNOTATION);
  ShowWindow(annotationDialog_, show ? SW_SHOW : SW_HIDE);
}

void ZKWindow::RequestFullUpdate(uint32_t requestTag) {
  if (!(roleFlags_ & ROLE_CAPTURE)) return;
  BeginFullUpdate(requestTag);
  SendFullFrame();
  // The mode first: a receiver that joins takes the marks that follow in it.
  SendAnnotationMode(displayMode_ == ZKM_ANNOTATION);
  SendElements();
  EndFullUpdate();
}
