#include "annotation/HighlightElement.h"

#include "annotation/AnnotationGeometry.h"
#include "events/AnnotationMessages.h"
#include "frames/FrameMgr.h"
#include "resources/resource.h"

namespace {
const COLORREF kHighlightBlue = RGB(0, 0, 255);
constexpr DWORD kPatternXorDestination = 0x005A0049;  // PATINVERT
}  // namespace

HighlightElement::~HighlightElement() {
  if (brush_) DeleteObject(brush_);
}

bool HighlightElement::Init(HWND window, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  bounds_ = Rect{x1, y1, x2, y2};
  if (!brush_) brush_ = CreateSolidBrush(kHighlightBlue);
  cursor_ = LoadElementCursor(window, IDC_HIGHLIGHT_CURSOR);
  return brush_ && cursor_;
}

HRGN HighlightElement::CreateRegion(HWND window) {
  return KeepRegion(window, CreateRectRgn(bounds_.left, bounds_.top, bounds_.right, bounds_.bottom));
}

void HighlightElement::SetPoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  bounds_ = HighlightBounds(x1, y1, x2, y2);
}

bool HighlightElement::Send(EventMgr* sink, uint8_t flag, int32_t dx, int32_t dy) {
  return SendAs(sink, kAnnotationHighlight, flag, dx, dy, 0);
}

bool HighlightElement::Draw(HWND, FrameMgr* frame, HDC dc) {
  const int32_t width = bounds_.Width(), height = bounds_.Height();
  if (!frame || !brush_ || width <= 0 || height <= 0) return false;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, width, height) : nullptr;
  HGDIOBJ oldBitmap = bitmap ? SelectObject(memory, bitmap) : nullptr;
  bool drawn = oldBitmap && frame->DrawAt(memory, width, height, bounds_.left, bounds_.top);
  if (drawn) {
    HGDIOBJ oldBrush = SelectObject(memory, brush_);
    PatBlt(memory, 0, 0, width, height, kPatternXorDestination);
    SelectObject(memory, oldBrush);
    BitBlt(dc, bounds_.left, bounds_.top, width, height, memory, 0, 0, SRCCOPY);
  }
  if (oldBitmap) SelectObject(memory, oldBitmap);
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  return drawn;
}
