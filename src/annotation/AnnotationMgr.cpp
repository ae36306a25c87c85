#include "annotation/AnnotationMgr.h"

bool AnnotationMgr::Init(HWND window, WindowRegionSet* regionSet, EventMgr* eventSink,
                         FrameMgr* frame) {
  window_ = window;
  regionSet_ = regionSet;
  eventSink_ = eventSink;
  frame_ = frame;
  return true;
}

void AnnotationMgr::Reset() {
  armed_ = false;
  offsetX_ = offsetY_ = 0;
}

void AnnotationMgr::SetOffset(int x, int y) {
  offsetX_ = x;
  offsetY_ = y;
}

bool AnnotationMgr::OnInput(UINT, WPARAM, LPARAM) { return armed_; }
