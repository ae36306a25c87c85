#pragma once

#include <cstddef>
#include <list>

#include "frames/Rect.h"

// RectList holds pending (dirty) rectangles in first-in first-out order: the
// presenter's, to send, and a viewer model's, to repaint. It never holds the
// same area twice: a rectangle that meets one already listed is split into
// column pieces that cover exactly the union. No listed rectangle is empty.
// One thread: the presenter's worker, or the viewer model's owner.
class RectList {
 public:
  // False (nothing added) for a rectangle narrower or lower than one pixel.
  bool Add(int32_t left, int32_t top, int32_t right, int32_t bottom);
  bool Add(const Rect& r) { return Add(r.left, r.top, r.right, r.bottom); }

  // Removes the oldest rectangle into `out`; false when the list is empty.
  bool TakeHead(Rect* out);
  void Clear() { rects_.clear(); }
  size_t GetCount() const { return rects_.size(); }
  bool IsEmpty() const { return rects_.empty(); }
  const std::list<Rect>& GetRects() const { return rects_; }

 private:
  std::list<Rect> rects_;
};
