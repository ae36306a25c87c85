#include <windows.h>

#include <new>

#include "common/AutoResetEvent.h"

namespace {

// The event object that Set and Wait use, and a manual-reset event that
// Close sets so that every waiter leaves, not just the one an auto-reset
// event would release. A waiter works on duplicates of both handles, taken
// under the lock: Close may then close the originals at any time without a
// waiter ever waiting on a closed (and perhaps reused) handle value.
struct Native {
  SRWLOCK lock = SRWLOCK_INIT;
  HANDLE signal = nullptr;
  HANDLE closed = nullptr;
};

// The lock is taken even by the const IsCreated.
Native* Get(const unsigned char* storage) {
  return std::launder(reinterpret_cast<Native*>(const_cast<unsigned char*>(storage)));
}

// Holds the lock for a scope. Every hold is short (a handle read, copied or
// swapped), so one exclusive kind serves.
class LockHold {
 public:
  explicit LockHold(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~LockHold() { ReleaseSRWLockExclusive(lock_); }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;

 private:
  SRWLOCK* lock_;
};

HANDLE Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  HANDLE self = GetCurrentProcess();
  return DuplicateHandle(self, handle, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) ? copy
                                                                                      : nullptr;
}

void CloseIfHeld(HANDLE handle) {
  if (handle) CloseHandle(handle);
}

}  // namespace

static_assert(sizeof(Native) <= 160, "storage too small for the event handles");

AutoResetEvent::AutoResetEvent() { new (storage_) Native(); }

AutoResetEvent::~AutoResetEvent() {
  Close();
  Get(storage_)->~Native();
}

bool AutoResetEvent::Create() {
  Native* n = Get(storage_);
  LockHold lock(&n->lock);
  if (n->signal) return true;
  HANDLE signal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE closed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!signal || !closed) {
    CloseIfHeld(signal);
    CloseIfHeld(closed);
    return false;
  }
  n->signal = signal;
  n->closed = closed;
  return true;
}

void AutoResetEvent::Close() {
  Native* n = Get(storage_);
  HANDLE signal, closed;
  {
    LockHold lock(&n->lock);
    signal = n->signal;
    closed = n->closed;
    n->signal = n->closed = nullptr;
  }
  if (!signal) return;
  SetEvent(closed);
  CloseHandle(signal);
  CloseHandle(closed);
}

bool AutoResetEvent::IsCreated() const {
  Native* n = Get(storage_);
  LockHold lock(&n->lock);
  return n->signal != nullptr;
}

void AutoResetEvent::Set() {
  Native* n = Get(storage_);
  LockHold lock(&n->lock);
  if (n->signal) SetEvent(n->signal);
}

AutoResetEvent::WaitResult AutoResetEvent::Wait(uint32_t timeoutMs) {
  Native* n = Get(storage_);
  HANDLE handles[2];
  {
    LockHold lock(&n->lock);
    if (!n->signal) return FAILED;
    handles[0] = Duplicate(n->signal);
    handles[1] = Duplicate(n->closed);
  }
  WaitResult result = FAILED;
  if (handles[0] && handles[1]) {
    switch (WaitForMultipleObjects(2, handles, FALSE, timeoutMs == kForever ? INFINITE : timeoutMs)) {
      case WAIT_OBJECT_0:
        result = SIGNALLED;
        break;
      case WAIT_TIMEOUT:
        result = TIMED_OUT;
        break;
      default:
        break;  // closed during the wait, or the wait failed
    }
  }
  CloseIfHeld(handles[0]);
  CloseIfHeld(handles[1]);
  return result;
}
