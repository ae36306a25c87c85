#pragma once

#include <windows.h>

#include <atomic>

// AThread runs one worker thread: a start routine, then a loop routine called
// until it returns false or the thread is asked to stop, then an exit routine.
// Create and Destroy are called by the owner's thread; the routines run on the
// worker. Create returns once the start routine has finished (or after 10 s).
//
// A thread asked to stop waits after its exit routine, parked, for its owner
// to let it go. An owner that unloads the module holds the loader lock, which
// the thread's end needs: it ends the parked thread where it waits instead,
// so that the thread never returns into the unloaded module. A thread whose
// loop ends by itself holds the module while it leaves.
class AThread {
 public:
  using LoopRoutine = bool (*)(void* context);
  using Routine = void (*)(void* context);

  AThread() = default;
  virtual ~AThread();
  AThread(const AThread&) = delete;
  AThread& operator=(const AThread&) = delete;

  // Starts the thread; true when a thread is running (also when one already
  // was, in which case nothing changes). With a wait handle the loop routine
  // runs only when that handle is signalled.
  bool Create(LoopRoutine loop, void* context, HANDLE waitHandle, Routine start, Routine exit);

  // Asks the thread to stop and waits up to timeoutMs for it to finish; if it
  // does not, optionally terminates it. Always releases the thread's handles.
  void Destroy(DWORD timeoutMs, bool terminate);
  // Destroy (terminating on time-out) for an owner that holds the loader
  // lock: a thread that has finished is ended where it waits.
  void DestroyUnderLoaderLock(DWORD timeoutMs);
  // Releases the handles of a thread that the system has already ended (the
  // process is exiting), waiting for nothing.
  void Forget();

  // Worker thread, from the loop routine: returns once a message arrives in
  // the thread's queue (window, posted or timer message) or the thread is
  // asked to stop; a stop request stays pending for the loop to see. A loop
  // routine that pumps messages waits here instead of polling its queue.
  void WaitForMessagesOrStop();
  // Worker thread, from a loop routine that handles many messages in one
  // call: true once the thread has been asked to stop. The routine should
  // then return, for the stop to be taken.
  bool StopRequested() const { return stopRequested_; }

  bool IsRunning() const { return thread_ != INVALID_HANDLE_VALUE; }
  // True when a thread was started and has since finished by itself.
  bool HasEnded() const {
    return IsRunning() && (finished_ || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0);
  }
  DWORD GetThreadId() const { return threadId_; }

 private:
  static DWORD WINAPI ThreadRoutine(void* self);
  void Park();
  [[noreturn]] void LeaveOnItsOwn();
  void Stop(DWORD timeoutMs, bool terminate, bool awaitEnd);
  void ReleaseHandles();
  // True when they ended because the thread was asked to stop.
  bool RunLoop();
  bool RunLoopOnWaitHandle();
  bool CreateEvents();
  void CloseEvents();

  HANDLE thread_ = INVALID_HANDLE_VALUE;
  DWORD threadId_ = 0;
  LoopRoutine loop_ = nullptr;
  Routine start_ = nullptr;
  Routine exit_ = nullptr;
  void* context_ = nullptr;
  HANDLE waitHandle_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  HANDLE doneEvent_ = nullptr;
  HANDLE startedEvent_ = nullptr;
  std::atomic<bool> finished_{false};
  std::atomic<bool> stopRequested_{false};
};
