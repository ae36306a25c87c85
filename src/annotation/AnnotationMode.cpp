#include "events/ProtocolMessages.h"
#include "session/ZKWindow.h"

void ZKWindow::AnnotationMode(uint8_t on, bool broadcast) {
  on = on ? 1 : 0;  // any nonzero byte means on
  if (on == annotationModeActive_) return;
  if (!on) {
    // The marks of a session end with the mode, and the others hear of it.
    EndPlacement(true);
    ClearElements(true);
  }
  if ((roleFlags_ & ROLE_CAPTURE) || broadcast) SendAnnotationMode(on);
  annotationModeActive_ = on;
  SetDisplayMode();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::AnnotationMode");
  ApplyAnnotationDialogRule();
}

void ZKWindow::AddHighlight() {
  if (!(roleFlags_ & ROLE_ANNOTATION)) return;
  AnnotationMode(1, true);
  StartHighlight();
}

void ZKWindow::AddMarker(uint32_t colour) {
  if (!(roleFlags_ & ROLE_ANNOTATION)) return;
  AnnotationMode(1, true);
  StartMarker(colour);
}

void ZKWindow::ClearAnnotation() {
  if ((roleFlags_ & ROLE_ANNOTATION) && displayMode_ == ZKM_ANNOTATION) ClearElements(true);
}

void ZKWindow::OnAnnotation(const AnnotationMessage& annotation) {
  AnnotationMgr::OnAnnotation(annotation);
  if (annotationDialog_) InvalidateRect(annotationDialog_, nullptr, FALSE);
}

void ZKWindow::OnAnnotationMode(const AnnotationModeMessage& mode) {
  // A viewer's request (token 0) is the presenter's to take and relay; a
  // viewer follows only the presenter whose token it holds.
  if (!(roleFlags_ & ROLE_CAPTURE) && mode.token != GetToken()) return;
  AnnotationMode(mode.on, false);
}

bool ZKWindow::SendAnnotationMode(uint8_t on) {
  const uint32_t token = (roleFlags_ & ROLE_CAPTURE) ? GetToken() : 0;
  return QueueMessage(ZKP_ANNOTATIONMODE, AnnotationModeMessage{token, on});
}
