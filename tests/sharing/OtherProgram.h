#pragma once

#include <windows.h>

// A program of another process for tests to share: a Wine notepad and its
// top-level window. Ended by force when the object goes, if it still runs.
// Test thread only; it pumps while it waits.
class OtherProgram {
 public:
  OtherProgram() = default;
  ~OtherProgram();
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  // Starts it shown with `showCommand` and waits for its window.
  bool Start(int showCommand = SW_SHOWNOACTIVATE);
  HWND Window() const { return window_; }
  // Asks it to close, as its user would (dropping any typed text unsaved),
  // and waits for the process to end; false when it had to be ended by force.
  bool Close();
  // Ends the process outright: no hook of the presenter sees its window go.
  bool Kill();

 private:
  bool AwaitEnd();

  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
};
