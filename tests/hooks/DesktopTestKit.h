#pragma once

// Windows, message pumping and input sources for the hooks tests. Everything
// here runs on the test's main thread, which owns every window it creates and
// must keep pumping for Wine to turn X events into input.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "InjectedInput.h"

namespace hooktest {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Everything the test windows were sent or posted that a test may ask about:
// hook reports, button and key messages. Shared by all RecordingWindows.
class MessageLog {
 public:
  void Add(const Seen& seen) { seen_.push_back(seen); }
  void Clear() { seen_.clear(); }
  size_t Count(const std::function<bool(const Seen&)>& match) const;
  // The first entry matching, or null.
  const Seen* Find(const std::function<bool(const Seen&)>& match) const;
  std::vector<Seen> Select(const std::function<bool(const Seen&)>& match) const;

 private:
  std::vector<Seen> seen_;
};

// A window of the test thread that logs what reaches it. Top-level unless a
// parent is given (then it is a child filling the given rectangle). As a
// session window does, it takes the drawing kept with each drawing report,
// and logs each area as one more report.
class RecordingWindow {
 public:
  RecordingWindow(MessageLog& log, const RECT& rect, HWND parent = nullptr);
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  HWND Handle() const { return window_; }
  // Centre of the client area in screen coordinates.
  POINT ScreenCentre() const;
  // Posts a marker to itself and pumps until it is logged: every message
  // posted to this window before the marker has been dispatched by then.
  bool FlushPosted();

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  void TakeDrawnAreas();
  MessageLog& log_;
  HWND window_;
};

// Pumps the thread's queue until done() holds or timeoutMs passes; returns
// done(). Waits on the queue between checks, so only messages make progress.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// Waits until a message in [first, last] is queued for `window`, leaving it
// in the queue; other messages are dispatched meanwhile.
bool AwaitQueued(HWND window, UINT first, UINT last, DWORD timeoutMs = 10000);

// Starts xdotool (a Linux program, run by Wine outside the Windows process
// tree) with the given arguments; it drives the X server like a real device.
bool HaveXdotool();
bool RunXdotool(const std::string& arguments);

inline int ReportX(LPARAM lParam) { return static_cast<short>(LOWORD(lParam)); }
inline int ReportY(LPARAM lParam) { return static_cast<short>(HIWORD(lParam)); }

}  // namespace hooktest
