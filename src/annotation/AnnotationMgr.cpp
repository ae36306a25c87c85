#include "annotation/AnnotationMgr.h"

bool AnnotationMgr::Init(HWND window, WindowRegionSet* regionSet, EventMgr* eventSink,
                         FrameMgr* frame) {
  window_ = window;
  regionSet_ = regionSet;
  eventSink_ = eventSink;
  frame_ = frame;
  return true;
}

void AnnotationMgr::Reset() { armed_ = false; }

bool AnnotationMgr::OnInput(UINT, WPARAM, LPARAM) { return armed_; }
