#pragma once

// The thread that owns every hook of the presenter's process. Low-level hooks
// are called on the thread that installed them and only while it pumps
// messages; a thread of our own keeps that true whatever the caller's thread
// does. It also owns the desktop hooks, so the system drops them all if the
// process dies without removing them.
// Owner: the exported functions, which serialise Start and Stop.

#include <windows.h>

namespace zkhooks {

class HookThread {
 public:
  // Starts the thread and returns once every hook is installed; false (and no
  // thread) when a hook cannot be installed. True at once when running.
  bool Start();
  // Removes the hooks and lets the thread end (waiting for its end only
  // briefly: under the loader lock it cannot end). A thread that does not
  // answer in time is given up on; it keeps its hooks until it runs again and
  // removes them, never touching those of a thread started later. Harmless
  // when not running.
  void Stop();
  bool IsRunning() const { return thread_ != nullptr; }

 private:
  static DWORD WINAPI Run(void* argument);
  static void PumpUntilStopped(HANDLE stop);
  void CloseEvents();

  HANDLE thread_ = nullptr;
  HANDLE ready_ = nullptr;    // set by the thread once its hooks are installed
  HANDLE stop_ = nullptr;     // tells the thread to remove them and end
  HANDLE removed_ = nullptr;  // set by the thread once its hooks are gone
};

}  // namespace zkhooks
