#include <windows.h>

#include <atomic>
#include <new>

#include "common/AutoResetEvent.h"

namespace {

// The handle is swapped atomically: Close runs on the owner's thread while a
// host thread may be reading the handle to wait on it.
using Handle = std::atomic<HANDLE>;

Handle* Native(unsigned char* storage) { return std::launder(reinterpret_cast<Handle*>(storage)); }
const Handle* Native(const unsigned char* storage) {
  return std::launder(reinterpret_cast<const Handle*>(storage));
}

}  // namespace

static_assert(sizeof(Handle) <= 160, "storage too small for the event handle");

AutoResetEvent::AutoResetEvent() { new (storage_) Handle(nullptr); }

AutoResetEvent::~AutoResetEvent() {
  Close();
  Native(storage_)->~Handle();
}

bool AutoResetEvent::Create() {
  if (IsCreated()) return true;
  HANDLE created = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!created) return false;
  Native(storage_)->store(created);
  return true;
}

void AutoResetEvent::Close() {
  HANDLE old = Native(storage_)->exchange(nullptr);
  if (!old) return;
  // Release a waiter before the handle goes, so that it does not sleep on a
  // closed handle until its time-out.
  SetEvent(old);
  CloseHandle(old);
}

bool AutoResetEvent::IsCreated() const { return Native(storage_)->load() != nullptr; }

void AutoResetEvent::Set() {
  HANDLE h = Native(storage_)->load();
  if (h) SetEvent(h);
}

AutoResetEvent::WaitResult AutoResetEvent::Wait(uint32_t timeoutMs) {
  HANDLE h = Native(storage_)->load();
  if (!h) return FAILED;
  switch (WaitForSingleObject(h, timeoutMs == kForever ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0:
      return SIGNALLED;
    case WAIT_TIMEOUT:
      return TIMED_OUT;
    default:
      return FAILED;
  }
}
