#include "ZKApi.h"

namespace {
template <typename Function>
bool Find(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *function != nullptr;
}

HMODULE g_module = nullptr;

bool Resolve(HMODULE module, ZKApi* api) {
  return Find(module, "ZK_Init", &api->Init) && Find(module, "ZK_Release", &api->Release) &&
         Find(module, "ZK_EnableCapture", &api->EnableCapture) &&
         Find(module, "ZK_PauseCapture", &api->PauseCapture) &&
         Find(module, "ZK_EnableInputControl", &api->EnableInputControl) &&
         Find(module, "ZK_EnableAnnotation", &api->EnableAnnotation) &&
         Find(module, "ZK_SetPosition", &api->SetPosition) &&
         Find(module, "ZK_WaitForEvents", &api->WaitForEvents) &&
         Find(module, "ZK_GetQueuedEvent", &api->GetQueuedEvent) &&
         Find(module, "ZK_PostEvent", &api->PostEvent) &&
         Find(module, "ZK_RequestFullUpdate", &api->RequestFullUpdate) &&
         Find(module, "ZK_ClickToShare", &api->ClickToShare) &&
         Find(module, "ZK_SetPollFrequency", &api->SetPollFrequency) &&
         Find(module, "ZK_SetUpdateFrequency", &api->SetUpdateFrequency) &&
         Find(module, "ZK_SetInputUpdateFrequency", &api->SetInputUpdateFrequency) &&
         Find(module, "ZK_AddHighlight", &api->AddHighlight) &&
         Find(module, "ZK_AddMarker", &api->AddMarker) &&
         Find(module, "ZK_ClearAnnotation", &api->ClearAnnotation) &&
         Find(module, "ZK_SetParentWindow", &api->SetParentWindow);
}
}  // namespace

const ZKApi* LoadZKApi() {
  static ZKApi api = {};
  static bool resolved = false;
  if (!g_module) {
    g_module = LoadLibraryA("ZK.dll");
    if (!g_module) return nullptr;
    resolved = Resolve(g_module, &api);
  }
  return resolved ? &api : nullptr;
}

HMODULE ZKModule() {
  LoadZKApi();
  return g_module;
}
