#include "annotation/MarkerElement.h"

#include "annotation/AnnotationGeometry.h"
#include "events/AnnotationMessages.h"
#include "resources/resource.h"

MarkerElement::~MarkerElement() {
  if (brush_) DeleteObject(brush_);
}

bool MarkerElement::Init(HWND window, int32_t x, int32_t y, uint32_t colour) {
  cursor_ = LoadElementCursor(window, IDC_MARKER_CURSOR);
  colour_ = colour;
  if (brush_) DeleteObject(brush_);
  brush_ = CreateSolidBrush(colour);
  bounds_ = MarkerBounds(x, y);
  return brush_ != nullptr;
}

HRGN MarkerElement::CreateRegion(HWND window) {
  PolygonPoint arrow[kMarkerPoints];
  MarkerPolygon(bounds_, arrow);
  POINT points[kMarkerPoints];
  for (int i = 0; i < kMarkerPoints; ++i) points[i] = POINT{arrow[i].x, arrow[i].y};
  return KeepRegion(window, CreatePolygonRgn(points, kMarkerPoints, WINDING));
}

void MarkerElement::SetPoints(int32_t, int32_t, int32_t x2, int32_t y2) {
  bounds_ = MarkerBounds(x2, y2);
}

bool MarkerElement::Send(EventMgr* sink, uint8_t flag, int32_t dx, int32_t dy) {
  return SendAs(sink, kAnnotationMarker, flag, dx, dy, colour_);
}

bool MarkerElement::Draw(HWND window, FrameMgr*, HDC dc) {
  HRGN region = GetRegion();
  if (!region || !brush_) return false;
  POINT origin = ClientOriginInWindow(window);
  OffsetRgn(region, -origin.x, -origin.y);
  bool filled = FillRgn(dc, region, brush_) != 0;
  OffsetRgn(region, origin.x, origin.y);
  return filled;
}
