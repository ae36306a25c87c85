#include "annotation/AnnotationGeometry.h"
#include "annotation/AnnotationMgr.h"
#include "annotation/HighlightElement.h"
#include "annotation/MarkerElement.h"
#include "common/Trace.h"
#include "events/AnnotationMessages.h"
#include "frames/FrameMgr.h"

bool AnnotationMgr::OnAnnotation(const AnnotationMessage& annotation) {
  if (annotation.kind == kAnnotationClearAll) {
    if (annotation.flag != 1) {
      Trace(TRACE_WARNING, "\r\nAnnotationMgr: clear-all without its flag ignored");
      return false;
    }
    // Only a placement in progress ends: there is nothing else to announce.
    if (armed_) EndPlacement(true);
    ClearElements(false);
    return true;
  }
  if (annotation.kind != kAnnotationHighlight && annotation.kind != kAnnotationMarker) {
    Trace(TRACE_WARNING, "\r\nAnnotationMgr: unknown annotation kind %u ignored",
          static_cast<unsigned>(annotation.kind));
    return false;
  }
  return ReceiveElement(annotation);
}

bool AnnotationMgr::ReceiveElement(const AnnotationMessage& annotation) {
  const Rect picture{annotation.left, annotation.top, annotation.right, annotation.bottom};
  const FrameFormat* format = frame_ ? &frame_->GetFrameFormat() : nullptr;
  Rect client;
  if (!format || !PictureRectToClient(picture, offsetX_, offsetY_, format->Width(),
                                      format->Height(), &client)) {
    Trace(TRACE_WARNING, "\r\nAnnotationMgr: annotation rectangle (%d, %d, %d, %d) ignored",
          static_cast<int>(picture.left), static_cast<int>(picture.top),
          static_cast<int>(picture.right), static_cast<int>(picture.bottom));
    return false;
  }
  if (!HasRoom()) {
    Trace(TRACE_WARNING, "\r\nAnnotationMgr: %u elements held already, annotation ignored",
          static_cast<unsigned>(elements_.size()));
    return false;
  }
  AnnotationElement* element = NewReceivedElement(annotation, client);
  AddElement(element);
  DrawNow(element);
  return true;
}

AnnotationElement* AnnotationMgr::NewReceivedElement(const AnnotationMessage& annotation,
                                                     const Rect& client) {
  if (annotation.kind == kAnnotationHighlight) {
    auto* highlight = new HighlightElement();
    highlight->Init(window_, client.left, client.top, client.right, client.bottom);
    highlight->SetPoints(client.left, client.top, client.right, client.bottom);
    return highlight;
  }
  // A marker's tip is the rectangle's top-left corner; its size is its own.
  auto* marker = new MarkerElement();
  marker->Init(window_, client.left, client.top, annotation.colour);
  return marker;
}
