#pragma once

#include <windows.h>

#include <vector>

// WindowRegionSet shapes one window (the session window) to the union of a
// list of regions: the capture frame's border and every annotation element.
// The regions belong to whoever added them. Worker thread only.
class WindowRegionSet {
 public:
  WindowRegionSet() = default;
  WindowRegionSet(const WindowRegionSet&) = delete;
  WindowRegionSet& operator=(const WindowRegionSet&) = delete;

  bool SetWindow(HWND window);
  void Enable(bool on);
  bool IsEnabled() const { return enabled_; }
  bool Apply();
  bool Add(HRGN region);
  bool Remove(HRGN region, bool apply);
  void Reset();
  size_t GetRegionCount() const { return regions_.size(); }

 private:
  void SetNoRegion();

  HWND window_ = nullptr;
  std::vector<HRGN> regions_;
  bool enabled_ = false;
};

// Whether a window can be worked with: not minimised, visible, at least 16 x 16
// pixels, and not entirely off the primary screen.
bool IsWindowUsable(HWND window);
