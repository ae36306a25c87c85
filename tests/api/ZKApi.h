#pragma once

// ZK.dll as a native host reaches it: loaded by name with LoadLibrary, every
// function found with GetProcAddress and called through a cdecl pointer. The
// host's own picture of an event record stands here too, so that the tests
// depend on nothing of the library but its exports and, as any host may, its
// portable protocol code.

#include <windows.h>

#include <cstdint>

struct HostEvent {
  uint32_t type;
  uint32_t size;
  uint8_t* payload;
};
static_assert(sizeof(HostEvent) == 12, "the record the library fills is 12 bytes on Win32");

struct ZKApi {
  using Result = uint8_t;
  Result(__cdecl* Init)(HWND parent);
  Result(__cdecl* Release)();
  Result(__cdecl* EnableCapture)(uint32_t enable, uint32_t captureToken);
  Result(__cdecl* PauseCapture)(uint32_t pause);
  Result(__cdecl* EnableInputControl)(uint32_t enable, uint32_t inputToken);
  Result(__cdecl* EnableAnnotation)(uint32_t enable);
  Result(__cdecl* SetPosition)(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                               uint32_t show);
  Result(__cdecl* WaitForEvents)(uint32_t timeoutMs);
  Result(__cdecl* GetQueuedEvent)(HostEvent* out);
  Result(__cdecl* PostEvent)(const HostEvent* in);
  Result(__cdecl* RequestFullUpdate)(uint32_t requestId);
  Result(__cdecl* ClickToShare)(HWND window, uint32_t reason);
  Result(__cdecl* SetPollFrequency)(uint32_t intervalMs, uint32_t exclusive, uint32_t bands);
  Result(__cdecl* SetUpdateFrequency)(uint32_t intervalMs);
  Result(__cdecl* SetInputUpdateFrequency)(uint32_t intervalMs);
  Result(__cdecl* AddHighlight)();
  Result(__cdecl* AddMarker)(uint32_t colour);
  Result(__cdecl* ClearAnnotation)();
  Result(__cdecl* SetParentWindow)(HWND parent);
};

// The library, loaded on first use and kept for the life of the process (its
// window class outlives any one session). Null when ZK.dll or any of the
// nineteen functions cannot be found.
const ZKApi* LoadZKApi();
HMODULE ZKModule();
