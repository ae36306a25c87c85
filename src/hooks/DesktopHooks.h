#pragma once

// The system-wide hooks that report what happens to top-level windows of any
// process: activation, minimising, hiding and destruction. Installed and
// removed on a hook thread; the procedures run inside whichever process
// owns the window, on the thread doing the change, and reach the session
// window through the shared report target.

#include <windows.h>

#include "hooks/HookPair.h"

namespace zkhooks {

// Into the calling thread's own pair, which it removes itself.
bool InstallDesktopHooks(HINSTANCE module, HookPair* hooks);

}  // namespace zkhooks
