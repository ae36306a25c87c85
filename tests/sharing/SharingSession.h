#pragma once

// The kit of the application-sharing tests: a presenter's session of ZK.dll
// driven through its exports (HostSessionTest), windows of another program
// to share (Wine's notepad, one process each), the shared-window reports
// drained as a host drains them, and what can be seen of the windows from
// outside the library: rectangles, z-order and regions.
//
// Everything runs on the test thread, which pumps while it waits: a host
// window the test creates is served by it.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "OtherProgram.h"
#include "api/HostSession.h"

struct SharedReport {
  uint16_t code;
  HWND window;
  std::string title;
  bool operator==(const SharedReport& o) const { return code == o.code && window == o.window; }
};
std::ostream& operator<<(std::ostream& os, const SharedReport& r);

class SharingSession : public HostSessionTest {
 protected:
  static constexpr int kFrameX = 80, kFrameY = 60, kFrameWidth = 400, kFrameHeight = 300;

  // A session shown at the frame rectangle with capture enabled: a
  // presenter with nothing shared yet.
  ::testing::AssertionResult StartPresenter(const char* config = nullptr, HWND parent = nullptr);

  // Shared-window reports drained since the last TakeReports, waiting until
  // there are `count` of them (or the deadline passes).
  std::vector<SharedReport> TakeReports(size_t count);
  // Waits until the display mode has left capture: the session window loses
  // its see-through region.
  bool AwaitNotCapturing();
  bool AwaitCapturing();
  bool IsCapturing() const;

  // The session window's client area on the screen: where shared windows go.
  RECT Placement() const;
  // Waits until `window` fills the placement directly below the session window.
  bool AwaitInPlaceBelowSession(HWND window);
  bool AwaitPlaced(HWND window, const RECT& where);

  // Clicks a point of the screen with injected input (the hooks see it).
  static void Click(POINT screenPoint);
  static POINT Centre(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  static bool PumpWhile(const std::function<bool()>& notYet, DWORD timeoutMs = 15000);

 private:
  std::vector<SharedReport> pending_;
};

// The next visible top-level window below `window` in the z-order, or null.
HWND NextVisibleBelow(HWND window);
// The lowest visible top-level window.
HWND LowestVisibleWindow();
RECT WindowRect(HWND window);
