#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory>

#include "annotation/AnnotationElement.h"
#include "annotation/AnnotationGeometry.h"

class EventMgr;
class FrameMgr;
class WindowRegionSet;
struct AnnotationMessage;

// AnnotationMgr keeps the annotation elements of the session window: it
// paints them, shapes the window around them, sends and receives them as
// ZKP_ANNOTATION, and places one element at a time with the mouse.
// Elements are held in client coordinates; picture coordinate = client
// coordinate + view offset. Highlights stand at the front of the list and
// markers at the back, so that markers are drawn over highlights.
//
// Owned by the session object; its window, region set, event sink (may be
// null: nothing is sent) and frame are the session's. Worker thread only,
// but for Reset, which runs once the worker has ended.
class AnnotationMgr {
 public:
  AnnotationMgr() = default;
  ~AnnotationMgr();
  AnnotationMgr(const AnnotationMgr&) = delete;
  AnnotationMgr& operator=(const AnnotationMgr&) = delete;

  bool Init(HWND window, WindowRegionSet* regionSet, EventMgr* eventSink, FrameMgr* frame);
  // Takes the element into the list and its region into the region set.
  bool AddElement(AnnotationElement* element);
  // False when the element is not listed. Otherwise its region leaves the
  // region set and its place is repainted; with destroy false the caller
  // owns the element again.
  bool RemoveElement(AnnotationElement* element, bool destroy);
  // With send, a non-empty list is announced as a clear-all first. A drag
  // in progress ends with its element.
  void ClearElements(bool send);
  bool DrawElements(HDC dc);
  // Every element in list order, as a newly joined viewer needs them.
  void SendElements();
  void SetOffset(int32_t x, int32_t y);
  // A received element or clear-all. Hostile records (an unknown kind, a
  // clear-all without its flag, rectangles that no frame holds) and elements
  // beyond kMaxAnnotationElements are dropped with a trace and build nothing.
  bool OnAnnotation(const AnnotationMessage& annotation);
  // The session has ended (its window is gone): forgets the offset, the
  // placement and the elements, sending, painting and reshaping nothing.
  void Reset();

  // Placement of one element (AnnotationPlacement.cpp). Nothing starts, and
  // no press places anything, while the list is full.
  void StartHighlight();
  void StartMarker(uint32_t colour);
  // Mouse and key input of the session window; false while placement is not armed.
  bool OnInput(UINT message, WPARAM wParam, LPARAM lParam);
  void EndPlacement(bool dropPending);

  size_t GetElementCount() const { return elements_.size(); }
  bool IsPlacementArmed() const { return armed_; }

 private:
  using ElementList = std::list<std::unique_ptr<AnnotationElement>>;
  ElementList::iterator Find(const AnnotationElement* element);
  bool HasRoom() const { return elements_.size() < kMaxAnnotationElements; }
  void DrawNow(AnnotationElement* element);
  bool ReceiveElement(const AnnotationMessage& annotation);
  AnnotationElement* NewReceivedElement(const AnnotationMessage& annotation, const Rect& client);
  void StartPlacement(AnnotationElement* element);
  void DropPending();
  void MovePending(int32_t x, int32_t y);
  bool InsideClient(int32_t x, int32_t y) const;
  void SetWindowCursor(HCURSOR cursor);

  HWND window_ = nullptr;
  WindowRegionSet* regionSet_ = nullptr;
  EventMgr* eventSink_ = nullptr;
  FrameMgr* frame_ = nullptr;
  ElementList elements_;
  bool armed_ = false;
  bool dragging_ = false;
  int32_t anchorX_ = 0;
  int32_t anchorY_ = 0;
  // Owned by the list once added, by the manager before.
  AnnotationElement* pending_ = nullptr;
  int32_t offsetX_ = 0;
  int32_t offsetY_ = 0;
};
