#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "ZK.h"
#include "common/CriticalSection.h"

class EventMgr;

// One shared application window: its handle and the title it had when it
// was last made primary (at most 254 characters, zero-terminated).
struct SharedWindowRecord {
  HWND window;
  char title[256];
};

// Why UpdateWindow is called (ZK_ClickToShare's reason, or the library's own).
// Hosts pass these numbers, so the public header states them.
enum SharedWindowReason : uint32_t {
  SHARE_OR_TOGGLE = ZK_SHARE_OR_TOGGLE,
  SHARE_MAKE_PRIMARY = ZK_SHARE_PRIMARY,
  SHARE_REMOVE = ZK_SHARE_REMOVE,
  SHARE_RESTACK_PRIMARY = ZK_SHARE_RESTACK,
  SHARE_SET_ASIDE = ZK_SHARE_SET_ASIDE,
};

// Report codes of ZKP_SHAREDWINDOW, as the public header states them.
enum SharedWindowReport : uint16_t {
  SHARED_ADDED = ZKSW_ADDED,
  SHARED_PRIMARY = ZKSW_PRIMARY,
  SHARED_REMOVED = ZKSW_REMOVED,
  SHARED_GONE = ZKSW_GONE,
  SHARED_REFUSED = ZKSW_REFUSED,
  SHARED_NOT_FOLLOWED = ZKSW_UNFOLLOWED,
};

// SharedWindowTracker keeps the application windows a presenter shares:
// the list in the order they were last made primary, the primary (followed)
// window, which it keeps filling the frame's client area directly below the
// session window, and every change reported to the host as ZKP_SHAREDWINDOW.
// Windows of other programs are moved without activating them and without
// waiting for their threads, so a hung program cannot stall the worker.
//
// Threads: everything runs on the worker, except that the host's thread
// writes the placement rectangle through SetPlacement (ZK_SetPosition). Every
// read and write of that rectangle goes under the placement lock, which is
// the session's position lock; reports are queued outside it, since the
// queue's lock and the position lock are never held together.
class SharedWindowTracker : public CriticalSection {
 public:
  explicit SharedWindowTracker(CriticalSection* placementLock) : placementLock_(placementLock) {}
  ~SharedWindowTracker() override = default;

  bool Init(HWND ownWindow, EventMgr* eventSink);
  void SetStackAnchor(HWND anchor) { stackAnchor_ = anchor; }
  // Where shared windows are put (screen coordinates); with replace, every
  // shared window is restacked there at once. Any thread; replace only on
  // the worker.
  void SetPlacement(int left, int top, int right, int bottom, bool replace);
  RECT GetPlacement() const;

  // Reasons above; false for any larger reason, a refusal, or a toggle that
  // only brought the window back into place.
  bool UpdateWindow(HWND window, uint32_t reason, bool force);
  bool SetPrimary(const SharedWindowRecord* record);
  bool SetFollowing(bool on);
  // Hook reports: the window went away, or changed (code 1: minimised).
  // Windows that are not tracked are left alone.
  bool RemoveWindow(HWND window);
  void WindowChanged(HWND window, uint32_t code);
  // Lets go of every shared window whose program ended without a report;
  // true when one was let go.
  bool ForgetEndedWindows();
  // Reports and releases every window, synchronously.
  void Clear();

  bool IsTracked(HWND window) const;
  // Any thread (the host window's thread reads it for the hole).
  unsigned GetWindowCount() const { return count_; }
  HWND GetPrimaryWindow() const { return primary_.window; }

 private:
  using RecordList = std::vector<SharedWindowRecord>;

  RecordList::iterator Find(HWND window);
  bool Share(HWND window, bool force);
  bool ToggleInPlace(HWND window);
  bool MakePrimary(RecordList::iterator record);
  bool Remove(RecordList::iterator record);
  bool SetAside(RecordList::iterator record);
  void SyncCount() { count_ = static_cast<unsigned>(windows_.size()); }
  void Report(uint16_t code, HWND window, const char* title);

  // The window actions: none activates the window.
  void Restack(HWND window);
  void Release(HWND window);
  void Restore(HWND window);
  void Fit(HWND window);
  void PlaceBelow(HWND window, HWND above);

  CriticalSection* const placementLock_;
  bool following_ = true;
  HWND ownWindow_ = nullptr;
  HWND stackAnchor_ = nullptr;
  RECT placement_ = {};
  EventMgr* eventSink_ = nullptr;
  RecordList windows_;
  std::atomic<unsigned> count_{0};
  SharedWindowRecord primary_ = {};
};

// Whether any part of the window's rectangle lies on the primary screen.
bool IsOnScreen(HWND window);
