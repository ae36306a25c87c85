#include "annotation/AnnotationGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace {
int64_t Distance(int32_t a, int32_t b) { return std::llabs(int64_t{a} - int64_t{b}); }

bool WithinLimit(int64_t coordinate) {
  return coordinate >= -kAnnotationCoordinateLimit && coordinate <= kAnnotationCoordinateLimit;
}
}  // namespace

Rect HighlightBounds(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int32_t left = std::min(x1, x2), top = std::min(y1, y2);
  return Rect{left, top, left + std::abs(x1 - x2), top + std::abs(y1 - y2)};
}

Rect MarkerBounds(int32_t x, int32_t y) { return Rect{x, y, x + kMarkerSize, y + kMarkerSize}; }

void MarkerPolygon(const Rect& b, PolygonPoint points[kMarkerPoints]) {
  const int32_t w = b.Width(), h = b.Height();
  points[0] = {b.left, b.top};
  points[1] = {b.right, b.top};
  points[2] = {b.left + (w >> 1), b.top + (h >> 2)};
  points[3] = {b.right, b.bottom - (h >> 2)};
  points[4] = {b.right - (w >> 2), b.bottom};
  points[5] = {b.left + (w >> 2), b.top + (h >> 1)};
  points[6] = {b.left, b.bottom};
}

bool PictureRectToClient(const Rect& picture, int32_t offsetX, int32_t offsetY,
                         int32_t frameWidth, int32_t frameHeight, Rect* client) {
  if (Distance(picture.right, picture.left) > frameWidth ||
      Distance(picture.bottom, picture.top) > frameHeight)
    return false;
  const int64_t left = int64_t{picture.left} - offsetX, top = int64_t{picture.top} - offsetY;
  const int64_t right = int64_t{picture.right} - offsetX,
                bottom = int64_t{picture.bottom} - offsetY;
  if (!WithinLimit(left) || !WithinLimit(top) || !WithinLimit(right) || !WithinLimit(bottom))
    return false;
  *client = Rect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                 static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
  return true;
}
