#include "hooks/HookThread.h"

#include "hooks/DesktopHooks.h"
#include "hooks/DrawingHooks.h"
#include "hooks/InputHooks.h"

namespace zkhooks {
namespace {

// Generous bounds: installing hooks and leaving the message loop take
// milliseconds; a caller tearing a session down must not hang on either.
constexpr DWORD kStartLimitMs = 10000;
constexpr DWORD kStopLimitMs = 5000;

void CloseAndClear(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

bool HookThread::Start() {
  if (thread_) return true;
  // The thread holds its own reference on the DLL, so unloading it while
  // hooks are set cannot pull the code from under the running loop.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&HookThread::Run), &module_)) {
    return false;
  }
  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (ready_) thread_ = CreateThread(nullptr, 0, &HookThread::Run, this, 0, &threadId_);
  if (!thread_) {
    CloseAndClear(ready_);
    FreeLibrary(module_);
    module_ = nullptr;
    return false;
  }
  HANDLE waits[] = {ready_, thread_};
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kStartLimitMs);
  CloseAndClear(ready_);
  if (woke == WAIT_OBJECT_0) return true;
  Stop();
  return false;
}

void HookThread::Stop() {
  if (!thread_) return;
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  WaitForSingleObject(thread_, kStopLimitMs);
  CloseAndClear(thread_);
  threadId_ = 0;
  module_ = nullptr;  // released by the thread on its way out
}

bool HookThread::InstallHooks(HINSTANCE module) {
  if (!InstallInputHooks(module)) return false;
  if (InstallDesktopHooks(module)) {
    if (InstallDrawingHooks(module)) return true;
    RemoveDesktopHooks();
  }
  RemoveInputHooks();
  return false;
}

DWORD WINAPI HookThread::Run(void* self) {
  auto* owner = static_cast<HookThread*>(self);
  HMODULE module = owner->module_;
  MSG message;
  // Create the queue before anyone may post WM_QUIT to it.
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  if (owner->InstallHooks(module)) {
    SetEvent(owner->ready_);
    // owner may be written by Stop from here on; only the queue is used.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    RemoveDrawingHooks();
    RemoveDesktopHooks();
    RemoveInputHooks();
  }
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace zkhooks
