#pragma once

// Test fixture: a session window with the hooks set on it and a second
// top-level window of the test (the "target") to aim input at, side by side
// so that the pointer over the target lies left of the session window.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "DesktopTestKit.h"
#include "hooks/ZKHooks.h"

namespace hooktest {

class HookedDesktop : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Pumps until `window` has been sent report `report` with wParam `wParam`.
  bool AwaitReport(HWND window, UINT report, WPARAM wParam);
  const Seen* FindReport(HWND window, UINT report, WPARAM wParam) const;
  size_t CountReports(HWND window) const;
  bool AwaitMessage(HWND window, UINT message);
  size_t CountMessages(HWND window, UINT message) const;

  // Client origin of the session window in screen coordinates.
  POINT SessionOrigin() const;
  HWND Session() const { return session_->Handle(); }
  HWND Target() const { return target_->Handle(); }

  MessageLog log_;
  std::unique_ptr<RecordingWindow> session_;
  std::unique_ptr<RecordingWindow> target_;
};

}  // namespace hooktest
