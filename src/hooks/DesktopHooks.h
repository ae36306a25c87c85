#pragma once

// The system-wide hooks that report what happens to top-level windows of any
// process: activation, minimising, hiding and destruction. Installed and
// removed on a hook thread; the procedures run inside whichever process
// owns the window, on the thread doing the change, and reach the session
// window through the shared report target.

#include <windows.h>

#include "hooks/HookPair.h"

namespace zkhooks {

// Into the calling thread's own pair, which it removes itself; on every
// thread of the desktop, or on `thread` alone.
bool InstallDesktopHooks(HINSTANCE module, HookPair* hooks, DWORD thread = 0);

// The two apart, for a desktop that sets them differently: activation,
// minimising and destruction (called seldom, on window changes)...
HookSpec WindowChangeHook();
// ...and hiding (called on every message sent).
HookSpec WindowHidingHook();

}  // namespace zkhooks
