#pragma once

#include <windows.h>

class EventMgr;
class FrameMgr;
class WindowRegionSet;

// AnnotationMgr: a placeholder until annotation elements land. Worker thread only.
class AnnotationMgr {
 public:
  AnnotationMgr() = default;
  AnnotationMgr(const AnnotationMgr&) = delete;
  AnnotationMgr& operator=(const AnnotationMgr&) = delete;

  bool Init(HWND window, WindowRegionSet* regionSet, EventMgr* eventSink, FrameMgr* frame);
  void Reset();
  // Mouse and key input of the session window; false while placement is not armed.
  bool OnInput(UINT message, WPARAM wParam, LPARAM lParam);
  // Picture coordinate = client coordinate + offset; elements move with it.
  void SetOffset(int x, int y);

 private:
  HWND window_ = nullptr;
  WindowRegionSet* regionSet_ = nullptr;
  EventMgr* eventSink_ = nullptr;
  FrameMgr* frame_ = nullptr;
  bool armed_ = false;
  int offsetX_ = 0;
  int offsetY_ = 0;
};
