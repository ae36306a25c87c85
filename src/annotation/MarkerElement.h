#pragma once

#include "annotation/AnnotationElement.h"

// MarkerElement: a 16 x 16 arrow filled with its colour, its tip at the
// top-left corner of its bounds. Owns its brush. Worker thread only.
class MarkerElement final : public AnnotationElement {
 public:
  MarkerElement() : AnnotationElement(false) {}
  ~MarkerElement() override;

  // Tip at (x, y); colour as 0x00BBGGRR. False when the brush cannot be had.
  bool Init(HWND window, int32_t x, int32_t y, uint32_t colour);

  HRGN CreateRegion(HWND window) override;
  // Only the second point counts: the tip follows the pointer.
  void SetPoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  bool Send(EventMgr* sink, uint8_t flag, int32_t dx, int32_t dy) override;
  // Fills the region (held in window coordinates) in client coordinates.
  bool Draw(HWND window, FrameMgr* frame, HDC dc) override;

 private:
  HBRUSH brush_ = nullptr;
  uint32_t colour_ = 0;
};
