#pragma once

// The system-wide hook that reports what happens to top-level windows of any
// process: activation, minimising and destruction (WH_CBT, called seldom, on
// window changes); and hiding, which no code of that hook announces, seen
// through the drawing hooks' hook on sent messages (ReportIfHidden), so that a
// sent message pays for one hook rather than two. Installed and removed on a
// hook thread; the procedures run inside whichever process owns the window,
// on the thread doing the change, and reach the session window through the
// shared report target.

#include <windows.h>

#include "hooks/HookPair.h"

namespace zkhooks {

// On every thread of the desktop, into the calling thread's own pair (one
// hook), which it removes itself.
bool InstallDesktopHook(HINSTANCE module, HookPair* hooks);

// From the hook on sent messages, once the window has handled the message.
void ReportIfHidden(const CWPRETSTRUCT& call);

}  // namespace zkhooks
