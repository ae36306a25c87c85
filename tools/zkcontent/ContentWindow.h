#pragma once

#include <windows.h>

#include "PictureLayout.h"

// ContentWindow: a borderless window that shows one picture at 1:1, the
// screen content that a presenter shares in the demo, the benchmark and the
// end-to-end tests. Created, shown and pumped on one thread, which must keep
// pumping (Pump) for screen grabs to see what it painted.
class ContentWindow {
 public:
  ContentWindow() = default;
  ~ContentWindow();
  ContentWindow(const ContentWindow&) = delete;
  ContentWindow& operator=(const ContentWindow&) = delete;

  bool Create(int x, int y, int width, int height);
  // Replaces the picture and paints it before returning.
  void Show(const Picture& picture);
  // Moves or resizes the window; the picture stays anchored at its top-left.
  void Place(int x, int y, int width, int height);
  // Handles whatever is queued for this thread's windows.
  static void Pump();
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HWND window_ = nullptr;
  Picture picture_;
};
