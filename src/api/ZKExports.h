#pragma once

// The functions a native host calls: exported by name, undecorated, cdecl.
// Booleans arrive and leave as one byte; only the low byte of a boolean
// argument counts. Posting functions return false (and post nothing) while
// no session window exists: before ZK_Init has completed and after ZK_Release.

#include <windows.h>

#include <cstdint>

#include "events/Event.h"

typedef uint8_t ZKBool;

extern "C" {
ZKBool __cdecl ZK_Init(HWND parent);
ZKBool __cdecl ZK_Release(void);
ZKBool __cdecl ZK_EnableCapture(uint32_t enable, uint32_t captureToken);
ZKBool __cdecl ZK_PauseCapture(uint32_t pause);
ZKBool __cdecl ZK_EnableInputControl(uint32_t enable, uint32_t inputToken);
ZKBool __cdecl ZK_EnableAnnotation(uint32_t enable);
ZKBool __cdecl ZK_SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                              uint32_t show);
ZKBool __cdecl ZK_WaitForEvents(uint32_t timeoutMs);
ZKBool __cdecl ZK_GetQueuedEvent(Event* out);
ZKBool __cdecl ZK_PostEvent(const Event* in);
ZKBool __cdecl ZK_RequestFullUpdate(uint32_t requestId);
ZKBool __cdecl ZK_ClickToShare(HWND window, uint32_t reason);
ZKBool __cdecl ZK_SetPollFrequency(uint32_t intervalMs, uint32_t exclusive, uint32_t bands);
ZKBool __cdecl ZK_SetUpdateFrequency(uint32_t intervalMs);
ZKBool __cdecl ZK_SetInputUpdateFrequency(uint32_t intervalMs);
ZKBool __cdecl ZK_AddHighlight(void);
ZKBool __cdecl ZK_AddMarker(uint32_t colour);
ZKBool __cdecl ZK_ClearAnnotation(void);
ZKBool __cdecl ZK_SetParentWindow(HWND parent);
}
