#pragma once

#include <cstdint>

// A rectangle with exclusive right and bottom, laid out like the platform's
// RECT so that the two convert field by field.
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

// The common part of two rectangles; empty (IsEmpty) when they do not meet.
Rect Intersect(const Rect& a, const Rect& b);
// The smallest rectangle holding both.
Rect BoundingRect(const Rect& a, const Rect& b);
// The area of `part` in whole percent of the area of `whole` (not empty),
// rounded toward zero.
int64_t AreaPercent(const Rect& part, const Rect& whole);
