#pragma once

// How a native host reaches ZK.dll: load it by name and look up each function
// it uses, with the types ZK.h declares. The library keeps all its state; the
// host only calls.

#include <windows.h>

#include "ZK.h"

class ZKLibrary {
 public:
  // Loads ZK.dll from the program's folder; false (with a message on
  // standard error) when it or one of its functions is missing.
  bool Load();
  ~ZKLibrary();

  decltype(&ZK_Init) Init = nullptr;
  decltype(&ZK_Release) Release = nullptr;
  decltype(&ZK_EnableCapture) EnableCapture = nullptr;
  decltype(&ZK_SetPosition) SetPosition = nullptr;
  decltype(&ZK_WaitForEvents) WaitForEvents = nullptr;
  decltype(&ZK_GetQueuedEvent) GetQueuedEvent = nullptr;
  decltype(&ZK_PostEvent) PostEvent = nullptr;
  decltype(&ZK_RequestFullUpdate) RequestFullUpdate = nullptr;
  decltype(&ZK_ClickToShare) ClickToShare = nullptr;
  decltype(&ZK_EnableAnnotation) EnableAnnotation = nullptr;
  decltype(&ZK_AddHighlight) AddHighlight = nullptr;
  decltype(&ZK_AddMarker) AddMarker = nullptr;
  decltype(&ZK_ClearAnnotation) ClearAnnotation = nullptr;
  decltype(&ZK_EnableInputControl) EnableInputControl = nullptr;
  decltype(&ZK_SetPollFrequency) SetPollFrequency = nullptr;
  decltype(&ZK_SetUpdateFrequency) SetUpdateFrequency = nullptr;
  decltype(&ZK_SetInputUpdateFrequency) SetInputUpdateFrequency = nullptr;

 private:
  template <typename Function>
  bool Find(Function& function, const char* name);

  HMODULE module_ = nullptr;
};
