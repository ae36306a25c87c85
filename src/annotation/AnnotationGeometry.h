#pragma once

#include <cstddef>
#include <cstdint>

#include "frames/Rect.h"

// The arithmetic of annotation elements: their bounds, the marker's arrow,
// and the check that turns a received picture rectangle into client
// coordinates. Portable; no state.

// A marker is a 16 x 16 arrow whose tip is the top-left corner of its bounds.
constexpr int32_t kMarkerSize = 16;
constexpr int kMarkerPoints = 7;

struct PolygonPoint {
  int32_t x;
  int32_t y;
};

// The rectangle spanned by two corners given in any order.
Rect HighlightBounds(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// The bounds of a marker whose tip is at (x, y).
Rect MarkerBounds(int32_t x, int32_t y);
// The arrow inside a marker's bounds, halved and quartered by arithmetic
// shifts: (L, T), (R, T), (L + w/2, T + h/4), (R, B - h/4), (R - w/4, B),
// (L + w/4, T + h/2), (L, B).
void MarkerPolygon(const Rect& bounds, PolygonPoint points[kMarkerPoints]);

// Received element rectangles are far within this distance of the client
// origin: it lies beyond any screen, yet sums of a few such coordinates and
// window offsets stay inside int32 and inside the graphics system's 27-bit
// coordinate space.
constexpr int32_t kAnnotationCoordinateLimit = 1 << 24;

// A received rectangle in picture coordinates, shifted by minus the view
// offset into client coordinates. False, leaving `client` alone, when the
// rectangle is larger than the frame either way (in either corner order) or
// a shifted corner falls outside the coordinate limit: no peer places such
// an element, and building a region of it would overflow.
bool PictureRectToClient(const Rect& picture, int32_t offsetX, int32_t offsetY,
                         int32_t frameWidth, int32_t frameHeight, Rect* client);

// The most elements a session or a viewer model holds. Real use is a handful
// of marks. Each one costs a brush and a region on every participant, and the window's shape is
// rebuilt from all of them whenever one is added, so a peer sending marks
// without end must meet a limit long before the graphics handles run out, and
// soon enough that the reshaping stays short: under Wine on a virtual display
// taking 256 marks at once kept the worker busy 16 s, 64 well under a second.
constexpr size_t kMaxAnnotationElements = 64;
