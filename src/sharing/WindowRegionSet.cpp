#include "sharing/WindowRegionSet.h"

#include <algorithm>

namespace {
constexpr int kMinimumUsableSize = 16;

BOOL RedrawUnlessMinimised(HWND window) { return IsIconic(window) ? FALSE : TRUE; }
}  // namespace

bool WindowRegionSet::SetWindow(HWND window) {
  window_ = window;
  return true;
}

void WindowRegionSet::Enable(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on)
    Apply();
  else
    SetNoRegion();
}

bool WindowRegionSet::Apply() {
  if (!enabled_ || regions_.empty()) {
    SetNoRegion();
    return true;
  }
  HRGN combined = CreateRectRgn(0, 0, 0, 0);
  if (!combined) return true;
  for (HRGN region : regions_) CombineRgn(combined, combined, region, RGN_OR);
  // On success the system owns the region; on failure it is still ours.
  if (!SetWindowRgn(window_, combined, RedrawUnlessMinimised(window_))) DeleteObject(combined);
  return true;
}

bool WindowRegionSet::Add(HRGN region) {
  regions_.push_back(region);
  Apply();
  return true;
}

bool WindowRegionSet::Remove(HRGN region, bool apply) {
  auto found = std::find(regions_.begin(), regions_.end(), region);
  if (found != regions_.end()) regions_.erase(found);
  if (apply) Apply();
  return true;
}

void WindowRegionSet::Reset() {
  SetNoRegion();
  regions_.clear();
}

void WindowRegionSet::SetNoRegion() {
  if (window_) SetWindowRgn(window_, nullptr, RedrawUnlessMinimised(window_));
}

bool IsWindowUsable(HWND window) {
  if (IsIconic(window) || !IsWindowVisible(window)) return false;
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  if (r.right - r.left < kMinimumUsableSize || r.bottom - r.top < kMinimumUsableSize) return false;
  if (r.right < 0 || r.bottom < 0) return false;
  return r.left <= GetSystemMetrics(SM_CXSCREEN) && r.top <= GetSystemMetrics(SM_CYSCREEN);
}
