#include "annotation/AnnotationElement.h"

#include "events/EventMgr.h"

AnnotationElement::~AnnotationElement() {
  if (region_) DeleteObject(region_);
}

HRGN AnnotationElement::KeepRegion(HWND window, HRGN clientRegion) {
  if (region_) DeleteObject(region_);
  region_ = clientRegion;
  if (region_) {
    POINT origin = ClientOriginInWindow(window);
    OffsetRgn(region_, origin.x, origin.y);
  }
  return region_;
}

bool AnnotationElement::SendAs(EventMgr* sink, uint8_t kind, uint8_t flag, int32_t dx, int32_t dy,
                               uint32_t colour) const {
  if (!sink) return false;
  AnnotationMessage message = {kind,           flag,           bounds_.left + dx, bounds_.top + dy,
                               bounds_.right + dx, bounds_.bottom + dy, colour};
  return sink->QueueMessage(ZKP_ANNOTATION, message);
}

HCURSOR AnnotationElement::LoadElementCursor(HWND window, int resourceId) {
  auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  return LoadCursorA(module, MAKEINTRESOURCEA(resourceId));
}

POINT ClientOriginInWindow(HWND window) {
  RECT frame = {};
  GetWindowRect(window, &frame);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  return POINT{origin.x - frame.left, origin.y - frame.top};
}
