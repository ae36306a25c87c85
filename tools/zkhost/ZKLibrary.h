#pragma once

// How a native host reaches ZK.dll: load it by name and look up each function
// it uses. The library keeps all its state; the host only calls.

#include <windows.h>

#include <cstdint>

struct ZKEvent {
  uint32_t type;
  uint32_t size;
  uint8_t* payload;  // the host frees what ZK_GetQueuedEvent returns with GlobalFree
};

class ZKLibrary {
 public:
  // Loads ZK.dll from the program's folder; false (with a message on
  // standard error) when it or one of its functions is missing.
  bool Load();
  ~ZKLibrary();

  uint8_t(__cdecl* Init)(HWND parent) = nullptr;
  uint8_t(__cdecl* Release)() = nullptr;
  uint8_t(__cdecl* EnableCapture)(uint32_t enable, uint32_t token) = nullptr;
  uint8_t(__cdecl* SetPosition)(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                uint32_t show) = nullptr;
  uint8_t(__cdecl* WaitForEvents)(uint32_t timeoutMs) = nullptr;
  uint8_t(__cdecl* GetQueuedEvent)(ZKEvent* out) = nullptr;
  uint8_t(__cdecl* PostEvent)(const ZKEvent* in) = nullptr;
  uint8_t(__cdecl* RequestFullUpdate)(uint32_t requestId) = nullptr;
  uint8_t(__cdecl* ClickToShare)(HWND window, uint32_t reason) = nullptr;
  uint8_t(__cdecl* EnableAnnotation)(uint32_t enable) = nullptr;
  uint8_t(__cdecl* AddHighlight)() = nullptr;
  uint8_t(__cdecl* AddMarker)(uint32_t colour) = nullptr;
  uint8_t(__cdecl* ClearAnnotation)() = nullptr;
  uint8_t(__cdecl* EnableInputControl)(uint32_t enable, uint32_t token) = nullptr;
  uint8_t(__cdecl* SetPollFrequency)(uint32_t intervalMs, uint32_t exclusive,
                                     uint32_t bands) = nullptr;
  uint8_t(__cdecl* SetUpdateFrequency)(uint32_t intervalMs) = nullptr;
  uint8_t(__cdecl* SetInputUpdateFrequency)(uint32_t intervalMs) = nullptr;

 private:
  template <typename Function>
  bool Find(Function& function, const char* name);

  HMODULE module_ = nullptr;
};
