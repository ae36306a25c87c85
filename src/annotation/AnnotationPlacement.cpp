#include "annotation/AnnotationMgr.h"
#include "annotation/HighlightElement.h"
#include "annotation/MarkerElement.h"
#include "events/EventMgr.h"

namespace {
constexpr UINT kEscapeScanCode = 1;

int32_t PointX(LPARAM lParam) { return static_cast<int16_t>(LOWORD(lParam)); }
int32_t PointY(LPARAM lParam) { return static_cast<int16_t>(HIWORD(lParam)); }
UINT ScanCode(LPARAM lParam) { return (static_cast<UINT>(lParam) >> 16) & 0xFF; }
}  // namespace

void AnnotationMgr::StartHighlight() {
  if (!HasRoom()) return;
  auto* highlight = new HighlightElement();
  highlight->Init(window_, 0, 0, 0, 0);
  StartPlacement(highlight);
}

void AnnotationMgr::StartMarker(uint32_t colour) {
  if (!HasRoom()) return;
  auto* marker = new MarkerElement();
  marker->Init(window_, 0, 0, colour);
  StartPlacement(marker);
}

void AnnotationMgr::StartPlacement(AnnotationElement* element) {
  // A new start replaces a placement in progress, drag and all.
  if (dragging_) ReleaseCapture();
  dragging_ = false;
  DropPending();
  pending_ = element;
  armed_ = true;
  SetWindowCursor(element->GetCursor());
}

void AnnotationMgr::DropPending() {
  if (!pending_) return;
  if (!RemoveElement(pending_, true)) delete pending_;
  pending_ = nullptr;
}

bool AnnotationMgr::OnInput(UINT message, WPARAM, LPARAM lParam) {
  if (!armed_) return false;
  const int32_t x = PointX(lParam), y = PointY(lParam);
  switch (message) {
    case WM_LBUTTONDOWN:
      if (dragging_) break;
      anchorX_ = x, anchorY_ = y;
      // Received elements may have filled the list since the start.
      if (!InsideClient(x, y) || !HasRoom()) {
        EndPlacement(true);
        break;
      }
      pending_->SetPoints(anchorX_, anchorY_, x, y);
      AddElement(pending_);
      DrawNow(pending_);
      dragging_ = true;
      SetCapture(window_);
      break;
    case WM_MOUSEMOVE:
      if (dragging_) MovePending(x, y);
      break;
    case WM_LBUTTONUP:
      if (!dragging_) break;
      if (!InsideClient(x, y)) {
        EndPlacement(true);
        break;
      }
      MovePending(x, y);
      pending_->Send(eventSink_, 0, offsetX_, offsetY_);
      EndPlacement(false);
      break;
    case WM_RBUTTONUP:
      EndPlacement(true);
      break;
    case WM_KEYUP:
      if (ScanCode(lParam) == kEscapeScanCode) EndPlacement(true);
      break;
    default:
      break;
  }
  return true;
}

void AnnotationMgr::MovePending(int32_t x, int32_t y) {
  // Removing it first repaints its old place.
  RemoveElement(pending_, false);
  pending_->SetPoints(anchorX_, anchorY_, x, y);
  AddElement(pending_);
  DrawNow(pending_);
}

void AnnotationMgr::EndPlacement(bool dropPending) {
  // The capture is ours only while dragging: another window may hold it.
  if (dragging_) ReleaseCapture();
  armed_ = dragging_ = false;
  if (dropPending) DropPending();
  if (eventSink_) eventSink_->QueueMessage(ZKP_ENDANNOTATION, EndAnnotationMessage{});
  pending_ = nullptr;
  SetWindowCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

bool AnnotationMgr::InsideClient(int32_t x, int32_t y) const {
  RECT client = {};
  GetClientRect(window_, &client);
  POINT point = {x, y};
  return PtInRect(&client, point) != FALSE;
}

void AnnotationMgr::SetWindowCursor(HCURSOR cursor) {
  if (window_) SetClassLongPtrA(window_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
}
