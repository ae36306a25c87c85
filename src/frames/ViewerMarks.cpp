#include "frames/ViewerMarks.h"

#include "annotation/AnnotationGeometry.h"

bool ViewerMarks::Receive(const AnnotationMessage& annotation, int32_t pictureWidth,
                          int32_t pictureHeight) {
  if (annotation.kind == kAnnotationClearAll) {
    if (annotation.flag != 1) return false;
    marks_.clear();
    return true;
  }
  if (annotation.kind != kAnnotationHighlight && annotation.kind != kAnnotationMarker)
    return false;
  const Rect picture{annotation.left, annotation.top, annotation.right, annotation.bottom};
  Rect checked;
  if (!PictureRectToClient(picture, 0, 0, pictureWidth, pictureHeight, &checked)) return false;
  if (marks_.size() >= kMaxAnnotationElements) return false;
  const uint32_t colour = annotation.kind == kAnnotationMarker ? annotation.colour : 0;
  marks_.push_back(ViewerMark{annotation.kind, picture, colour});
  return true;
}
