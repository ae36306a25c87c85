#include "session/AThread.h"

#include "common/Trace.h"

namespace {
constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kDestroyTimeoutMs = 20000;

HANDLE CreateAutoResetEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

// Waits for `handle` while answering what other threads send to this
// thread's windows: the worker's start and end touch the host's window,
// which may belong to the very thread waiting here.
DWORD WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return result;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void CloseAndForget(HANDLE& handle) {
  if (handle) {
    CloseHandle(handle);
    handle = nullptr;
  }
}
}  // namespace

AThread::~AThread() { Destroy(kDestroyTimeoutMs, true); }

bool AThread::Create(LoopRoutine loop, void* context, HANDLE waitHandle, Routine start,
                     Routine exit) {
  if (IsRunning()) return true;
  if (!CreateEvents()) return false;

  stopRequested_ = false;
  loop_ = loop;
  context_ = context;
  waitHandle_ = waitHandle;
  start_ = start;
  exit_ = exit;
  HANDLE thread = CreateThread(nullptr, 0, ThreadRoutine, this, 0, &threadId_);
  if (!thread) {
    Destroy(kDestroyTimeoutMs, true);  // closes the events; no thread to stop
    return false;
  }
  thread_ = thread;
  WaitAnsweringSentMessages(startedEvent_, kStartWaitMs);  // a slow start is not an error
  return true;
}

bool AThread::CreateEvents() {
  // Events created before a failure stay held until Destroy closes them.
  if (!stopEvent_ && !(stopEvent_ = CreateAutoResetEvent())) return false;
  if (!doneEvent_ && !(doneEvent_ = CreateAutoResetEvent())) return false;
  if (!startedEvent_ && !(startedEvent_ = CreateAutoResetEvent())) return false;
  return true;
}

void AThread::Destroy(DWORD timeoutMs, bool terminate) { Stop(timeoutMs, terminate, true); }

void AThread::DestroyUnderLoaderLock(DWORD timeoutMs) { Stop(timeoutMs, true, false); }

void AThread::Forget() {
  if (IsRunning()) ReleaseHandles();
  CloseEvents();
}

void AThread::Stop(DWORD timeoutMs, bool terminate, bool awaitEnd) {
  if (IsRunning() && threadId_ == GetCurrentThreadId()) {
    // The thread itself, unloading the module as it leaves: it is ending.
    ReleaseHandles();
  } else if (IsRunning()) {
    stopRequested_ = true;
    SetEvent(stopEvent_);
    // Under the loader lock nothing else may run on this thread.
    bool ended = (awaitEnd ? WaitAnsweringSentMessages(doneEvent_, timeoutMs)
                           : WaitForSingleObject(doneEvent_, timeoutMs)) == WAIT_OBJECT_0;
    if (ended) {
      // Parked, holding nothing. Let go, it returns and ends; under the
      // loader lock, which its end needs, it is ended where it waits, so that
      // it never returns into a module about to be unloaded.
      if (awaitEnd)
        SetEvent(stopEvent_);
      else
        TerminateThread(thread_, 0);
    } else {
      Trace(TRACE_WARNING, "\r\n***Warning***");
      Trace(TRACE_WARNING, "\r\nAThread::Destroy - Timeout Expired.");
      if (terminate) {
        Trace(TRACE_WARNING, "\r\nTerminating Thread...");
        ended = TerminateThread(thread_, 0) != FALSE;
      }
    }
    // Once done it no longer touches this object, but wait for its end all
    // the same; a terminated thread ends without the loader lock.
    if (ended) WaitForSingleObject(thread_, INFINITE);
    ReleaseHandles();
  }
  CloseEvents();
}

void AThread::ReleaseHandles() {
  CloseHandle(thread_);
  threadId_ = 0;
  thread_ = INVALID_HANDLE_VALUE;
  finished_ = false;
}

void AThread::CloseEvents() {
  CloseAndForget(stopEvent_);
  CloseAndForget(doneEvent_);
  CloseAndForget(startedEvent_);
}

DWORD WINAPI AThread::ThreadRoutine(void* self) {
  auto* thread = static_cast<AThread*>(self);
  if (thread->start_) thread->start_(thread->context_);
  SetEvent(thread->startedEvent_);
  const bool stopped = thread->waitHandle_ ? thread->RunLoopOnWaitHandle() : thread->RunLoop();
  if (thread->exit_) thread->exit_(thread->context_);
  if (!stopped) thread->LeaveOnItsOwn();
  thread->Park();
  return 0;
}

void AThread::Park() {
  finished_ = true;
  // Signalling done and starting to wait are one step: once the owner sees
  // done, the thread runs no code of this module until it is let go.
  SignalObjectAndWait(doneEvent_, stopEvent_, INFINITE, FALSE);
}

void AThread::LeaveOnItsOwn() {
  // Nobody waits for this thread: it holds the module until it is out of it,
  // so that a host that unloads the library meanwhile cannot pull the code
  // from under it.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&AThread::ThreadRoutine), &module);
  finished_ = true;
  SetEvent(doneEvent_);
  if (module) FreeLibraryAndExitThread(module, 0);
  ExitThread(0);
}

void AThread::WaitForMessagesOrStop() {
  HANDLE stop = stopEvent_;
  DWORD woken =
      MsgWaitForMultipleObjectsEx(1, &stop, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  // The stop event resets as it wakes us: set it again for RunLoop.
  if (woken == WAIT_OBJECT_0) SetEvent(stop);
}

bool AThread::RunLoop() {
  while (WaitForSingleObject(stopEvent_, 0) != WAIT_OBJECT_0) {
    if (!loop_(context_)) return false;
  }
  return true;
}

bool AThread::RunLoopOnWaitHandle() {
  HANDLE handles[2] = {waitHandle_, stopEvent_};
  while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
    if (!loop_(context_)) return false;
  }
  return true;
}
