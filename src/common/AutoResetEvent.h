#pragma once

#include <cstdint>

// A wake-up signal that releases one waiter per Set and then resets itself;
// Sets without a waiter collapse into one. Win32 builds wrap an unnamed
// auto-reset event object (and a manual-reset one that Close sets), native
// builds a mutex and a condition variable.
//
// Owner: EventMgr. Threads: Set from the producer, Wait from any number of
// consumers, Create and Close from the owner; Close may run while other
// threads wait, and every one of them then returns at once.
class AutoResetEvent {
 public:
  enum WaitResult { SIGNALLED, TIMED_OUT, FAILED };
  static constexpr uint32_t kForever = 0xFFFFFFFF;

  AutoResetEvent();
  ~AutoResetEvent();
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  // Creates the signal, unsignalled. True when it exists afterwards.
  bool Create();
  // Closes the signal; a second call does nothing.
  void Close();
  bool IsCreated() const;

  void Set();
  // Waits up to timeoutMs (kForever: no limit). FAILED when the signal does
  // not exist or is closed during the wait.
  WaitResult Wait(uint32_t timeoutMs);

 private:
  alignas(8) unsigned char storage_[160];
};
