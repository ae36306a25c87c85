#pragma once

// ZK.dll as a native host reaches it: loaded by name with LoadLibrary, every
// function found with GetProcAddress and called through a pointer of the type
// the public header declares. The tests depend on nothing of the library but
// ZK.h, its exports and, as any host may, its portable protocol code.

#include <windows.h>

#include "ZK.h"

// The tests' name for the record.
using HostEvent = ZKEvent;
static_assert(sizeof(HostEvent) == 12, "the record the library fills is 12 bytes on Win32");

struct ZKApi {
  using Result = ZKBool;
  decltype(&ZK_Init) Init;
  decltype(&ZK_Release) Release;
  decltype(&ZK_EnableCapture) EnableCapture;
  decltype(&ZK_PauseCapture) PauseCapture;
  decltype(&ZK_EnableInputControl) EnableInputControl;
  decltype(&ZK_EnableAnnotation) EnableAnnotation;
  decltype(&ZK_SetPosition) SetPosition;
  decltype(&ZK_WaitForEvents) WaitForEvents;
  decltype(&ZK_GetQueuedEvent) GetQueuedEvent;
  decltype(&ZK_PostEvent) PostEvent;
  decltype(&ZK_RequestFullUpdate) RequestFullUpdate;
  decltype(&ZK_ClickToShare) ClickToShare;
  decltype(&ZK_SetPollFrequency) SetPollFrequency;
  decltype(&ZK_SetUpdateFrequency) SetUpdateFrequency;
  decltype(&ZK_SetInputUpdateFrequency) SetInputUpdateFrequency;
  decltype(&ZK_AddHighlight) AddHighlight;
  decltype(&ZK_AddMarker) AddMarker;
  decltype(&ZK_ClearAnnotation) ClearAnnotation;
  decltype(&ZK_SetParentWindow) SetParentWindow;
};

// The library, loaded on first use and kept for the life of the process (its
// window class outlives any one session). Null when ZK.dll or any of the
// nineteen functions cannot be found.
const ZKApi* LoadZKApi();
HMODULE ZKModule();
