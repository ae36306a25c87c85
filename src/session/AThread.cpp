#include "session/AThread.h"

#include "common/Trace.h"

namespace {
constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kDestroyTimeoutMs = 20000;

HANDLE CreateAutoResetEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

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
  WaitForSingleObject(startedEvent_, kStartWaitMs);  // a slow start is not an error
  return true;
}

bool AThread::CreateEvents() {
  // Events created before a failure stay held until Destroy closes them.
  if (!stopEvent_ && !(stopEvent_ = CreateAutoResetEvent())) return false;
  if (!doneEvent_ && !(doneEvent_ = CreateAutoResetEvent())) return false;
  if (!startedEvent_ && !(startedEvent_ = CreateAutoResetEvent())) return false;
  return true;
}

void AThread::Destroy(DWORD timeoutMs, bool terminate) {
  if (IsRunning()) {
    SetEvent(stopEvent_);
    bool ended = WaitForSingleObject(doneEvent_, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
      Trace(TRACE_WARNING, "\r\n***Warning***");
      Trace(TRACE_WARNING, "\r\nAThread::Destroy - Timeout Expired.");
      if (terminate) {
        Trace(TRACE_WARNING, "\r\nTerminating Thread...");
        ended = TerminateThread(thread_, 0) != FALSE;
      }
    }
    // The done event is set just before the routine returns: wait for the
    // thread itself, so that it no longer touches this object when we return.
    if (ended) WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    threadId_ = 0;
    thread_ = INVALID_HANDLE_VALUE;
  }
  CloseEvents();
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
  if (thread->waitHandle_)
    thread->RunLoopOnWaitHandle();
  else
    thread->RunLoop();
  if (thread->exit_) thread->exit_(thread->context_);
  SetEvent(thread->doneEvent_);
  return 0;
}

void AThread::RunLoop() {
  while (WaitForSingleObject(stopEvent_, 0) != WAIT_OBJECT_0) {
    if (!loop_(context_)) break;
  }
}

void AThread::RunLoopOnWaitHandle() {
  HANDLE handles[2] = {waitHandle_, stopEvent_};
  while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
    if (!loop_(context_)) break;
  }
}
