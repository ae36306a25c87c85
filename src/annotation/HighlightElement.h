#pragma once

#include "annotation/AnnotationElement.h"

// HighlightElement: a rectangle in which the picture shows inverted against
// blue. Owns its brush. Worker thread only.
class HighlightElement final : public AnnotationElement {
 public:
  HighlightElement() : AnnotationElement(true) {}
  ~HighlightElement() override;

  // Bounds as given; false when the brush or the cursor cannot be had (the
  // element is still usable, it may just not draw).
  bool Init(HWND window, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

  HRGN CreateRegion(HWND window) override;
  void SetPoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  bool Send(EventMgr* sink, uint8_t flag, int32_t dx, int32_t dy) override;
  // Paints the frame under the bounds off-screen, inverts it with the blue
  // brush and copies it in; draws nothing when the frame cannot paint there.
  bool Draw(HWND window, FrameMgr* frame, HDC dc) override;

 private:
  HBRUSH brush_ = nullptr;
};
