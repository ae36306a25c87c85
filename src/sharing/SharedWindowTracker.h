#pragma once

#include <windows.h>

#include <cstdint>

#include "common/CriticalSection.h"

class EventMgr;

// SharedWindowTracker: a placeholder until application sharing lands. Worker
// thread, except SetPlacement and GetPlacement, which take the tracker's own
// lock (its CriticalSection base) because the host thread reaches them.
class SharedWindowTracker : public CriticalSection {
 public:
  SharedWindowTracker() = default;
  ~SharedWindowTracker() override = default;

  bool Init(HWND ownWindow, EventMgr* eventSink);
  void SetStackAnchor(HWND anchor) { stackAnchor_ = anchor; }
  // Where shared windows are put (screen coordinates); with replace, every
  // shared window is moved there at once. Any thread.
  void SetPlacement(int left, int top, int right, int bottom, bool replace);
  RECT GetPlacement();
  void Clear();
  bool UpdateWindow(HWND window, uint32_t reason, bool force);
  bool SetFollowing(bool on);
  bool RemoveWindow(HWND window);
  void WindowChanged(HWND window, uint32_t code);
  unsigned GetWindowCount() const { return count_; }
  HWND GetPrimaryWindow() const { return primary_; }

 private:
  bool following_ = true;
  HWND ownWindow_ = nullptr;
  HWND stackAnchor_ = nullptr;
  EventMgr* eventSink_ = nullptr;
  RECT placement_ = {};
  unsigned count_ = 0;
  HWND primary_ = nullptr;
};
