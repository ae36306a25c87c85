#include "ZKLibrary.h"

#include <cstdio>

template <typename Function>
bool ZKLibrary::Find(Function& function, const char* name) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  if (!function) std::fprintf(stderr, "ZK.dll has no %s\n", name);
  return function != nullptr;
}

bool ZKLibrary::Load() {
  module_ = LoadLibraryA("ZK.dll");
  if (!module_) {
    std::fprintf(stderr, "cannot load ZK.dll (error %lu)\n", GetLastError());
    return false;
  }
  return Find(Init, "ZK_Init") && Find(Release, "ZK_Release") &&
         Find(EnableCapture, "ZK_EnableCapture") && Find(SetPosition, "ZK_SetPosition") &&
         Find(WaitForEvents, "ZK_WaitForEvents") && Find(GetQueuedEvent, "ZK_GetQueuedEvent") &&
         Find(PostEvent, "ZK_PostEvent") && Find(RequestFullUpdate, "ZK_RequestFullUpdate") &&
         Find(ClickToShare, "ZK_ClickToShare") && Find(EnableAnnotation, "ZK_EnableAnnotation") &&
         Find(AddHighlight, "ZK_AddHighlight") && Find(AddMarker, "ZK_AddMarker") &&
         Find(ClearAnnotation, "ZK_ClearAnnotation") &&
         Find(EnableInputControl, "ZK_EnableInputControl") &&
         Find(SetPollFrequency, "ZK_SetPollFrequency") &&
         Find(SetUpdateFrequency, "ZK_SetUpdateFrequency") &&
         Find(SetInputUpdateFrequency, "ZK_SetInputUpdateFrequency");
}

ZKLibrary::~ZKLibrary() {
  if (module_) FreeLibrary(module_);
}
