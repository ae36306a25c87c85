#include "events/ProtocolMessages.h"
#include "session/ZKWindow.h"

void ZKWindow::AnnotationMode(uint8_t on, bool broadcast) {
  if (on == annotationModeActive_) return;
  if ((roleFlags_ & ROLE_CAPTURE) || broadcast) SendAnnotationMode(on);
  annotationModeActive_ = on;
  SetDisplayMode();
  InvalidateWindow(window_, nullptr, FALSE, "ZKWindow::AnnotationMode");
  ApplyAnnotationDialogRule();
}

void ZKWindow::AddHighlight() {
  if (roleFlags_ & ROLE_ANNOTATION) AnnotationMode(1, true);
}

void ZKWindow::AddMarker(uint32_t colour) {
  (void)colour;
  if (roleFlags_ & ROLE_ANNOTATION) AnnotationMode(1, true);
}

// Placeholders until annotation elements land.
void ZKWindow::ClearAnnotation() {}
void ZKWindow::OnAnnotation(const AnnotationMessage&) {}
void ZKWindow::OnAnnotationMode(const AnnotationModeMessage&) {}

bool ZKWindow::SendAnnotationMode(uint8_t on) {
  const uint32_t token = (roleFlags_ & ROLE_CAPTURE) ? GetToken() : 0;
  return QueueMessage(ZKP_ANNOTATIONMODE, AnnotationModeMessage{token, on});
}
