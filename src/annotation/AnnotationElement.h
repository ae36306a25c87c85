#pragma once

#include <windows.h>

#include <cstdint>

#include "frames/Rect.h"

class EventMgr;
class FrameMgr;

// AnnotationElement: one mark over the shared picture, held in the session
// window's client coordinates, with the region that shapes the window around
// it (in window coordinates, owned). Highlights lie in the background (drawn
// first), markers on top. Owned by AnnotationMgr's list once added; worker
// thread only.
class AnnotationElement {
 public:
  AnnotationElement(const AnnotationElement&) = delete;
  AnnotationElement& operator=(const AnnotationElement&) = delete;
  virtual ~AnnotationElement();

  // Builds the region anew for the window and keeps it; null on failure.
  virtual HRGN CreateRegion(HWND window) = 0;
  // Places the element by two client points (a drag's anchor and pointer).
  virtual void SetPoints(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  // Queues the element as ZKP_ANNOTATION, its bounds shifted by (dx, dy)
  // into picture coordinates.
  virtual bool Send(EventMgr* sink, uint8_t flag, int32_t dx, int32_t dy) = 0;
  virtual bool Draw(HWND window, FrameMgr* frame, HDC dc) = 0;

  const Rect& GetBounds() const { return bounds_; }
  HRGN GetRegion() const { return region_; }
  bool IsBackground() const { return background_; }
  HCURSOR GetCursor() const { return cursor_; }

 protected:
  explicit AnnotationElement(bool background) : background_(background) {}
  // Replaces the kept region by one built in client coordinates, moved into
  // window coordinates; takes ownership of it.
  HRGN KeepRegion(HWND window, HRGN clientRegion);
  bool SendAs(EventMgr* sink, uint8_t kind, uint8_t flag, int32_t dx, int32_t dy,
              uint32_t colour) const;
  // Loads one of the library's cursors from the module that made the window.
  static HCURSOR LoadElementCursor(HWND window, int resourceId);

  Rect bounds_ = {0, 0, 0, 0};
  HCURSOR cursor_ = nullptr;  // shared, never destroyed

 private:
  HRGN region_ = nullptr;
  const bool background_;
};

// Where the client area's origin lies in window coordinates.
POINT ClientOriginInWindow(HWND window);
