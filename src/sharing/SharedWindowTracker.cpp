#include "sharing/SharedWindowTracker.h"

bool SharedWindowTracker::Init(HWND ownWindow, EventMgr* eventSink) {
  following_ = true;
  ownWindow_ = ownWindow;
  eventSink_ = eventSink;
  stackAnchor_ = nullptr;
  primary_ = nullptr;
  return true;
}

void SharedWindowTracker::Clear() {
  primary_ = nullptr;
  count_ = 0;
}

bool SharedWindowTracker::UpdateWindow(HWND, uint32_t, bool) { return false; }

bool SharedWindowTracker::RemoveWindow(HWND) { return false; }

void SharedWindowTracker::WindowChanged(HWND, uint32_t) {}

void SharedWindowTracker::SetPlacement(int left, int top, int right, int bottom, bool replace) {
  // The host places it under its position lock, the worker as its window
  // moves: the tracker's own lock keeps the four edges together.
  CriticalSectionLock lock(*this);
  SetRect(&placement_, left, top, right, bottom);
  (void)replace;
}

RECT SharedWindowTracker::GetPlacement() {
  CriticalSectionLock lock(*this);
  return placement_;
}

bool SharedWindowTracker::SetFollowing(bool on) {
  if (!primary_ || on == following_) return false;
  following_ = on;
  return true;
}
