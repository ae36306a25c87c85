#pragma once

#include <windows.h>

#include <string>

// The presenter's own window, which zkhost gives the library as the parent
// (ZK_Init): it lies under the session window's frame, with a strip below it
// that says what is presented, so the library cuts its hole into it (the
// shared windows show through) in every session. Created, pumped and
// destroyed on the command thread, which owns it.
class HostWindow {
 public:
  HostWindow() = default;
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // Covers the frame rectangle and the strip below it; shown without taking
  // the focus.
  bool Create(int x, int y, int width, int height, const std::string& caption);
  HWND Handle() const { return window_; }
  void SetCaption(const std::string& caption);

  // Height of the strip below the frame.
  static constexpr int kStripHeight = 24;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  std::string caption_;
};
