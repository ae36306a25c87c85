#pragma once

#include <cstdint>
#include <vector>

#include "events/AnnotationMessages.h"
#include "frames/Rect.h"

// One annotation element as a viewer received it: its kind
// (kAnnotationHighlight or kAnnotationMarker), its rectangle in top-down
// picture coordinates as sent (corners in any order; a marker's tip is
// (left, top), see MarkerBounds) and, for a marker, its colour (0x00BBGGRR).
struct ViewerMark {
  uint8_t kind;
  Rect rect;
  uint32_t colour;
};

// ViewerMarks keeps the annotation elements a viewer shows, as data for a
// painter: the Win32 session window's rules for received elements (clear-all
// only with its flag, rectangles no larger than the picture, at most
// kMaxAnnotationElements) without its windows. Owned by a ViewerModel; one
// thread at a time.
class ViewerMarks {
 public:
  // False (nothing changed) for a message the session window would refuse.
  bool Receive(const AnnotationMessage& annotation, int32_t pictureWidth, int32_t pictureHeight);
  const std::vector<ViewerMark>& Get() const { return marks_; }

 private:
  std::vector<ViewerMark> marks_;
};
