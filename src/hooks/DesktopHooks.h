#pragma once

// The system-wide hooks that report what happens to top-level windows of any
// process: activation, minimising, hiding and destruction. Installed and
// removed on the hook thread; the procedures run inside whichever process
// owns the window, on the thread doing the change, and reach the session
// window through the shared report target.

#include <windows.h>

namespace zkhooks {

bool InstallDesktopHooks(HINSTANCE module);
void RemoveDesktopHooks();

}  // namespace zkhooks
