#include "hooks/HookThread.h"

#include "hooks/DesktopHooks.h"
#include "hooks/DrawingHooks.h"
#include "hooks/InputHooks.h"
#include "hooks/ProgramThreadHooks.h"

namespace zkhooks {
namespace {

// Generous bounds: installing hooks and leaving the message loop take
// milliseconds; a caller tearing a session down must not hang on either.
constexpr DWORD kStartLimitMs = 10000;
constexpr DWORD kStopLimitMs = 5000;
// Once its hooks are gone the thread only has to end, which takes the loader
// lock: a host unloading the library without releasing the session holds it
// until the unload is over, so the thread is let go after this short wait
// rather than waited for in vain (it ends when the unload has finished).
constexpr DWORD kEndLimitMs = 250;

void CloseAndClear(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

// A copy of an event for the thread, which closes it itself: Stop may have
// given up on the thread and closed its own by the time the thread uses it.
HANDLE CopyForThread(HANDLE event) {
  HANDLE copy = nullptr;
  if (!event || !DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// What the thread is handed: its events are its own.
struct ThreadStart {
  HMODULE module;
  HANDLE ready;    // set by the thread once its hooks are installed
  HANDLE stop;     // set by Stop
  HANDLE removed;  // set by the thread once its hooks are gone
};

// The hooks of one thread, held by that thread alone. Stop may give up on a
// thread that does not answer; the next thread then sets hooks of its own,
// and the one given up on, should it ever run again, removes only its own.
// On a 64-bit desktop the in-context hooks go thread by thread onto the
// programs that can load this library; elsewhere every program can, and
// global hooks also see the first moments of every new thread.
class ThreadHooks {
 public:
  bool Install(HINSTANCE module) {
    if (!InstallInputHooks(module, &input_)) return false;
    if (OnWideDesktop()) return programs_.Start(module);
    return InstallDesktopHook(module, &desktop_) && InstallDrawingHooks(module, &drawing_);
  }
  // Harmless for hooks never installed.
  void Remove() {
    programs_.Stop();
    drawing_.Remove();
    desktop_.Remove();
    input_.Remove();
  }

 private:
  HookPair input_;
  HookPair desktop_;
  HookPair drawing_;
  ProgramThreadHooks programs_;
};

void CloseStart(ThreadStart* start) {
  CloseAndClear(start->ready);
  CloseAndClear(start->stop);
  CloseAndClear(start->removed);
}

}  // namespace

bool HookThread::Start() {
  if (thread_) return true;
  // The thread holds its own reference on the DLL, so unloading it while
  // hooks are set cannot pull the code from under the running loop.
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&HookThread::Run), &module)) {
    return false;
  }
  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  removed_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto* start = new ThreadStart{module, CopyForThread(ready_), CopyForThread(stop_),
                                CopyForThread(removed_)};
  if (start->ready && start->stop && start->removed) {
    thread_ = CreateThread(nullptr, 0, &HookThread::Run, start, 0, nullptr);
  }
  if (!thread_) {
    CloseStart(start);
    delete start;
    CloseEvents();
    FreeLibrary(module);
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
  SetEvent(stop_);
  if (WaitForSingleObject(removed_, kStopLimitMs) == WAIT_OBJECT_0) {
    WaitForSingleObject(thread_, kEndLimitMs);
  }
  CloseEvents();
  CloseAndClear(thread_);
}

void HookThread::CloseEvents() {
  CloseAndClear(ready_);
  CloseAndClear(stop_);
  CloseAndClear(removed_);
}

void HookThread::PumpUntilStopped(HANDLE stop) {
  MSG message;
  // The stop is an event, not a message: while a host unloads the library
  // it holds the loader lock, and every hook call on a message taken here
  // waits for that lock. The event comes first when both are there.
  while (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

DWORD WINAPI HookThread::Run(void* argument) {
  ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  MSG message;
  // Low-level hooks are called through this thread's queue: make it first.
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  ThreadHooks hooks;
  if (hooks.Install(start.module)) {
    SetEvent(start.ready);
    PumpUntilStopped(start.stop);
  }
  hooks.Remove();
  SetEvent(start.removed);
  CloseStart(&start);
  FreeLibraryAndExitThread(start.module, 0);
}

}  // namespace zkhooks
