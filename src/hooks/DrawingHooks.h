#pragma once

// Hooks that tell the session where the desktop is about to change or has
// just changed, so that the presenter can look there at once instead of
// waiting for its next poll. A report is a hint, not a promise: drawing that
// no message announces (a video, a caret blinking) is still found by polling.

#include <windows.h>

#include "hooks/HookPair.h"

namespace zkhooks {

// The hooks on messages taken and sent, into the calling thread's own pair,
// which it removes itself; on every thread of the desktop, or on `thread`
// alone. The one on sent messages also serves the window reports (hiding).
bool InstallDrawingHooks(HINSTANCE module, HookPair* hooks, DWORD thread = 0);

}  // namespace zkhooks
