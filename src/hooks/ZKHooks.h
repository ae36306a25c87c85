#pragma once

// Interface of ZKHooks.dll, the component that watches the presenter's
// desktop through system-wide hooks and reports to the session window by
// posting the messages below. Functions are exported undecorated, cdecl, and
// may be called from any thread (they serialise among themselves). The hooks
// run on a thread of the DLL's own, so the caller need not pump for them.
// There is one report target per desktop: the last session window set.

#include <windows.h>

#ifdef ZKHOOKS_BUILD
#define ZKHOOKS_API extern "C" __declspec(dllexport)
#else
#define ZKHOOKS_API extern "C" __declspec(dllimport)
#endif

// Reports posted to the session window.
enum ZKHookReport : UINT {
  // Something was, or is about to be, drawn there: wParam left | top << 16,
  // lParam right | bottom << 16, screen coordinates, unsigned. One waits in
  // the queue at a time: the session calls ZKHooks_TakeDrawnAreas for each it
  // takes. The engine's own paint posts the same message.
  WM_ZKHOOK_DRAWN = 0x0800,
  WM_ZKHOOK_MOUSE = 0x0801,      // wParam mouse message, lParam client point (x low, y high, signed)
  WM_ZKHOOK_KEY = 0x0803,        // wParam key message, lParam the key message's lParam
  WM_ZKHOOK_CLICKED = 0x0804,    // wParam top-level window clicked after ZKHooks_ClickToShare
  WM_ZKHOOK_VALUE = 0x084C,      // wParam window, lParam a value; no effect in the engine
  WM_ZKHOOK_DESTROYED = 0x084E,  // wParam window destroyed
  WM_ZKHOOK_HIDDEN = 0x084F,     // wParam window hidden
  WM_ZKHOOK_CHANGED = 0x0852,    // wParam window, lParam change code (1: minimised)
  WM_ZKHOOK_NOTE = 0x0853,       // wParam window; no effect in the engine
  WM_ZKHOOK_ACTIVATED = 0x0854,  // wParam window just activated
};

enum { ZKHOOK_CHANGE_MINIMIZED = 1 };
// The most areas ZKHooks_TakeDrawnAreas hands out at once.
enum { ZKHOOK_DRAWN_AREAS = 16 };

// Starts watching and reporting to `sessionWindow`. Calling it again while set
// re-targets the reports. FALSE when the window does not exist or the hooks
// cannot be installed.
ZKHOOKS_API BOOL ZKHooks_SetHooks(HWND sessionWindow);
// Stops watching; nothing is posted after it returns. Called on the session
// window's thread it also discards reports still queued there, so none
// arrives afterwards. Harmless when not set.
ZKHOOKS_API BOOL ZKHooks_UnSetHooks(HWND sessionWindow);
// The next left click on the desktop picks a window: it is reported with
// WM_ZKHOOK_CLICKED instead of reaching the window. FALSE while not set.
ZKHOOKS_API BOOL ZKHooks_ClickToShare(void);
// The window that has the keyboard focus, or null.
ZKHOOKS_API HWND ZKHooks_GetFocusedWindow(void);
// Tick (GetTickCount) of the last activity of the presenter's own mouse;
// input injected with mouse_event does not count.
ZKHOOKS_API DWORD ZKHooks_GetLastLocalMouseTicks(void);
// For the session window that the reports go to, as it takes a WM_ZKHOOK_DRAWN:
// fills `areas` (room for `capacity`, at least ZKHOOK_DRAWN_AREAS) with the
// screen rectangles drawn since the last call (the report's own among them,
// or within one of them), and returns their number; the next drawing is
// reported anew. 0, taking nothing, for any other window or a smaller array.
ZKHOOKS_API UINT ZKHooks_TakeDrawnAreas(HWND sessionWindow, RECT* areas, UINT capacity);
