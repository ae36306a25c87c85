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
  // Removes the hooks and joins the thread. Harmless when not running.
  void Stop();
  bool IsRunning() const { return thread_ != nullptr; }

 private:
  static DWORD WINAPI Run(void* self);
  bool InstallHooks(HINSTANCE module);

  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE ready_ = nullptr;
  HMODULE module_ = nullptr;
};

}  // namespace zkhooks
