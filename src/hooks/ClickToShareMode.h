#pragma once

// The pick-a-window mode started by ZKHooks_ClickToShare: the next left click
// anywhere names the top-level window under it, which is reported to the
// session window, and the click itself (press and release) never reaches that
// window. Armed from any thread; the low-level mouse hook on the hook thread
// consumes it.

#include <windows.h>

namespace zkhooks {

void ArmClickToShare();
void DisarmClickToShare();

// Called by the mouse hook for every button message; true when the message
// belongs to the picking click and must be swallowed.
bool InterceptClickToShare(UINT message, POINT screenPoint);

}  // namespace zkhooks
