#include "sharing/SharedWindowTracker.h"

#include <algorithm>
#include <cstring>

#include "events/EventMgr.h"
#include "events/SharingMessages.h"

namespace {
// The text of a window is read with room for 254 characters and the
// terminator; the record's last byte stays 0.
constexpr int kTitleReadLimit = 255;
constexpr uint32_t kLargestReason = SHARE_SET_ASIDE;
constexpr uint32_t kChangeMinimised = 1;
// Other programs' windows are moved without activating them and without
// waiting for their threads.
constexpr UINT kMoveFlags = SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;

void ReadTitle(HWND window, SharedWindowRecord* record) {
  std::memset(record->title, 0, sizeof record->title);
  GetWindowTextA(window, record->title, kTitleReadLimit);
}

bool BelongsToThisProcess(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId();
}

// Brings a minimised or maximised window back to its normal size without
// activating it: the presenter keeps the focus where it was.
void RestoreQuietly(HWND window) { ShowWindowAsync(window, SW_SHOWNOACTIVATE); }
}  // namespace

bool IsOnScreen(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  return r.right >= 1 && r.bottom >= 1 && r.left < GetSystemMetrics(SM_CXSCREEN) &&
         r.top < GetSystemMetrics(SM_CYSCREEN);
}

bool SharedWindowTracker::Init(HWND ownWindow, EventMgr* eventSink) {
  following_ = true;
  ownWindow_ = ownWindow;
  eventSink_ = eventSink;
  stackAnchor_ = nullptr;
  primary_ = SharedWindowRecord{};
  return true;
}

void SharedWindowTracker::SetPlacement(int left, int top, int right, int bottom, bool replace) {
  {
    CriticalSectionLock lock(*placementLock_);
    SetRect(&placement_, left, top, right, bottom);
  }
  if (!replace) return;
  for (const SharedWindowRecord& record : windows_) Restack(record.window);
}

RECT SharedWindowTracker::GetPlacement() const {
  CriticalSectionLock lock(*placementLock_);
  return placement_;
}

bool SharedWindowTracker::IsTracked(HWND window) const {
  return std::any_of(windows_.begin(), windows_.end(),
                     [window](const SharedWindowRecord& r) { return r.window == window; });
}

SharedWindowTracker::RecordList::iterator SharedWindowTracker::Find(HWND window) {
  return std::find_if(windows_.begin(), windows_.end(),
                      [window](const SharedWindowRecord& r) { return r.window == window; });
}

bool SharedWindowTracker::UpdateWindow(HWND window, uint32_t reason, bool force) {
  if (reason > kLargestReason) return false;
  auto record = Find(window);
  if (record == windows_.end()) return Share(window, force);
  switch (reason) {
    case SHARE_OR_TOGGLE:
      return ToggleInPlace(window);
    case SHARE_REMOVE:
      return Remove(record);
    case SHARE_SET_ASIDE:
      return SetAside(record);
    default:
      return MakePrimary(record);
  }
}

bool SharedWindowTracker::Share(HWND window, bool force) {
  // A handle that names no window is refused even when forced: tracking it
  // would hold the presenter in capture for nothing.
  if (!IsWindow(window) || (!force && BelongsToThisProcess(window))) {
    Report(SHARED_REFUSED, window, nullptr);
    return false;
  }
  if (IsIconic(window) || IsZoomed(window)) RestoreQuietly(window);
  SharedWindowRecord record{window, {}};
  ReadTitle(window, &record);
  windows_.push_back(record);
  SyncCount();
  Report(SHARED_ADDED, window, record.title);
  return SetPrimary(&record);
}

bool SharedWindowTracker::ToggleInPlace(HWND window) {
  RECT current = {};
  GetWindowRect(window, &current);
  const RECT placement = GetPlacement();
  if (!EqualRect(&current, &placement)) {
    // Out of place (the user dragged it away): a click brings it back.
    UpdateWindow(window, SHARE_RESTACK_PRIMARY, false);
    return false;
  }
  return Remove(Find(window));
}

bool SharedWindowTracker::MakePrimary(RecordList::iterator record) {
  SharedWindowRecord moved = *record;
  ReadTitle(moved.window, &moved);
  windows_.erase(record);
  windows_.push_back(moved);
  return SetPrimary(&moved);
}

bool SharedWindowTracker::Remove(RecordList::iterator record) {
  const SharedWindowRecord removed = *record;
  windows_.erase(record);
  SyncCount();
  Report(SHARED_REMOVED, removed.window, removed.title);
  Release(removed.window);
  if (!windows_.empty())
    UpdateWindow(windows_.back().window, SHARE_RESTACK_PRIMARY, false);
  else if (primary_.window == removed.window)
    SetPrimary(nullptr);
  return true;
}

bool SharedWindowTracker::SetAside(RecordList::iterator record) {
  const SharedWindowRecord aside = *record;
  windows_.erase(record);
  windows_.insert(windows_.begin(), aside);
  Report(SHARED_NOT_FOLLOWED, aside.window, aside.title);
  if (windows_.back().window != aside.window) {
    UpdateWindow(windows_.back().window, SHARE_RESTACK_PRIMARY, false);
  } else {
    // The only one: dropping and taking it again puts it back in place.
    SetPrimary(nullptr);
    UpdateWindow(aside.window, SHARE_RESTACK_PRIMARY, false);
  }
  return true;
}

bool SharedWindowTracker::SetPrimary(const SharedWindowRecord* record) {
  if (record && record->window == primary_.window) {
    Report(SHARED_PRIMARY, record->window, record->title);
    return true;
  }
  if (record && following_) {
    Report(SHARED_PRIMARY, record->window, record->title);
    Restore(record->window);
  }
  if (primary_.window) {
    if (following_) {
      Report(SHARED_NOT_FOLLOWED, primary_.window, primary_.title);
      Fit(primary_.window);
    }
    primary_ = SharedWindowRecord{};
  }
  if (record) primary_ = *record;
  return true;
}

bool SharedWindowTracker::SetFollowing(bool on) {
  if (!primary_.window || on == following_) return false;
  following_ = on;
  if (on) {
    Report(SHARED_PRIMARY, primary_.window, primary_.title);
    Restore(primary_.window);
  } else {
    Report(SHARED_NOT_FOLLOWED, primary_.window, primary_.title);
    Fit(primary_.window);
  }
  return true;
}

bool SharedWindowTracker::RemoveWindow(HWND window) {
  if (!IsTracked(window)) return false;
  const SharedWindowRecord gone = *Find(window);
  UpdateWindow(window, SHARE_REMOVE, false);
  Report(SHARED_GONE, window, gone.title);
  return true;
}

void SharedWindowTracker::WindowChanged(HWND window, uint32_t code) {
  if (following_ && window && window == primary_.window && code == kChangeMinimised)
    UpdateWindow(window, SHARE_SET_ASIDE, false);
}

bool SharedWindowTracker::ForgetEndedWindows() {
  std::vector<HWND> ended;
  for (const SharedWindowRecord& record : windows_) {
    if (!IsWindow(record.window)) ended.push_back(record.window);
  }
  for (HWND window : ended) RemoveWindow(window);
  return !ended.empty();
}

void SharedWindowTracker::Clear() {
  if (primary_.window) {
    Report(SHARED_NOT_FOLLOWED, primary_.window, primary_.title);
    if (following_) Fit(primary_.window);
    primary_ = SharedWindowRecord{};
  }
  RecordList released;
  released.swap(windows_);
  SyncCount();
  for (const SharedWindowRecord& record : released) {
    Report(SHARED_REMOVED, record.window, record.title);
    Release(record.window);
  }
}

void SharedWindowTracker::Report(uint16_t code, HWND window, const char* title) {
  if (!eventSink_) return;
  SharedWindowMessage message{};
  message.code = code;
  message.window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
  if (title) std::strncpy(message.title, title, kSharedWindowTitleSize - 1);
  eventSink_->QueueMessage(ZKP_SHAREDWINDOW, message);
}

void SharedWindowTracker::PlaceBelow(HWND window, HWND above) {
  const RECT r = GetPlacement();
  SetWindowPos(window, above, r.left, r.top, r.right - r.left, r.bottom - r.top,
               kMoveFlags | (above ? 0 : SWP_NOZORDER));
}

void SharedWindowTracker::Restack(HWND window) {
  if (IsIconic(window)) return;
  PlaceBelow(window, window == primary_.window ? stackAnchor_ : primary_.window);
}

void SharedWindowTracker::Release(HWND window) {
  // Back where the user can reach it: a window off the screen comes to its
  // top-left corner.
  const UINT keepPlace = IsOnScreen(window) ? SWP_NOMOVE : 0;
  SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, kMoveFlags | SWP_NOSIZE | keepPlace);
}

void SharedWindowTracker::Restore(HWND window) {
  RestoreQuietly(window);
  PlaceBelow(window, stackAnchor_);
}

void SharedWindowTracker::Fit(HWND window) {
  // It is stacked below the primary window, which in every use is itself:
  // its place in the z-order stays.
  PlaceBelow(window, nullptr);
}
