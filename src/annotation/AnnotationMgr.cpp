#include "annotation/AnnotationMgr.h"

#include "events/EventMgr.h"
#include "sharing/WindowRegionSet.h"
#include "session/ZKWindow.h"

AnnotationMgr::~AnnotationMgr() { Reset(); }

bool AnnotationMgr::Init(HWND window, WindowRegionSet* regionSet, EventMgr* eventSink,
                         FrameMgr* frame) {
  window_ = window;
  regionSet_ = regionSet;
  eventSink_ = eventSink;
  frame_ = frame;
  return true;
}

AnnotationMgr::ElementList::iterator AnnotationMgr::Find(const AnnotationElement* element) {
  for (auto it = elements_.begin(); it != elements_.end(); ++it)
    if (it->get() == element) return it;
  return elements_.end();
}

bool AnnotationMgr::AddElement(AnnotationElement* element) {
  HRGN region = element->CreateRegion(window_);
  if (region && regionSet_) regionSet_->Add(region);
  if (element->IsBackground())
    elements_.emplace_front(element);
  else
    elements_.emplace_back(element);
  return true;
}

bool AnnotationMgr::RemoveElement(AnnotationElement* element, bool destroy) {
  auto found = Find(element);
  if (found == elements_.end()) return false;
  if (regionSet_ && element->GetRegion()) regionSet_->Remove(element->GetRegion(), true);
  const Rect& b = element->GetBounds();
  RECT bounds = {b.left, b.top, b.right, b.bottom};
  if (window_) InvalidateWindow(window_, &bounds, FALSE, "AnnotationMgr::RemoveElement");
  if (!destroy) found->release();
  elements_.erase(found);
  return true;
}

void AnnotationMgr::ClearElements(bool send) {
  // A drag in progress holds its element in the list: it goes with the rest.
  if (dragging_) EndPlacement(true);
  if (send && !elements_.empty() && eventSink_)
    eventSink_->QueueMessage(ZKP_ANNOTATION,
                             AnnotationMessage{kAnnotationClearAll, 1, 0, 0, 0, 0, 0});
  for (auto& element : elements_)
    if (regionSet_ && element->GetRegion()) regionSet_->Remove(element->GetRegion(), true);
  elements_.clear();
  if (window_) InvalidateWindow(window_, nullptr, FALSE, "AnnotationMgr::ClearElements");
}

bool AnnotationMgr::DrawElements(HDC dc) {
  for (auto& element : elements_) element->Draw(window_, frame_, dc);
  return true;
}

void AnnotationMgr::SendElements() {
  for (auto& element : elements_) element->Send(eventSink_, 0, offsetX_, offsetY_);
}

void AnnotationMgr::SetOffset(int32_t x, int32_t y) {
  if (x == offsetX_ && y == offsetY_) return;
  const int32_t oldX = offsetX_, oldY = offsetY_;
  offsetX_ = x;
  offsetY_ = y;
  for (auto& element : elements_) {
    const Rect b = element->GetBounds();
    if (regionSet_ && element->GetRegion()) regionSet_->Remove(element->GetRegion(), true);
    // Right-bottom first, then left-top: a marker keeps its tip.
    element->SetPoints(b.right + oldX - x, b.bottom + oldY - y, b.left + oldX - x,
                       b.top + oldY - y);
    HRGN region = element->CreateRegion(window_);
    if (region && regionSet_) regionSet_->Add(region);
  }
}

void AnnotationMgr::DrawNow(AnnotationElement* element) {
  if (!window_) return;
  HDC dc = GetDC(window_);
  if (!dc) return;
  element->Draw(window_, frame_, dc);
  ReleaseDC(window_, dc);
}

void AnnotationMgr::Reset() {
  offsetX_ = offsetY_ = 0;
  armed_ = dragging_ = false;
  if (pending_ && Find(pending_) == elements_.end()) delete pending_;
  pending_ = nullptr;
  for (auto& element : elements_)
    if (regionSet_ && element->GetRegion()) regionSet_->Remove(element->GetRegion(), false);
  elements_.clear();
}
