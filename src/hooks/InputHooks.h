#pragma once

// The low-level mouse and keyboard hooks: report the presenter's input to the
// session window, keep the tick of the last mouse activity that came from a
// real device, and serve the click-to-share mode. Installed, called and
// removed on a hook thread only (low-level hooks run on the thread that
// installed them, which must pump messages).

#include <windows.h>

#include "hooks/HookPair.h"

namespace zkhooks {

// Into the calling thread's own pair, which it removes itself.
bool InstallInputHooks(HINSTANCE module, HookPair* hooks);

// GetTickCount of the last mouse event not injected by software; 0 before
// the first. Readable from any thread.
DWORD LastLocalMouseTicks();

}  // namespace zkhooks
