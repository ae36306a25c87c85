#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "common/AutoResetEvent.h"

namespace {

// The mutex and condition variable live as long as the object, not as long as
// the signal, so that Close can wake a waiter without pulling them away.
struct State {
  mutable std::mutex mutex;
  std::condition_variable wake;
  bool created = false;
  bool signalled = false;
  uint32_t generation = 0;  // changes on every Close, so a waiter notices it
};

State* Native(unsigned char* storage) { return std::launder(reinterpret_cast<State*>(storage)); }
const State* Native(const unsigned char* storage) {
  return std::launder(reinterpret_cast<const State*>(storage));
}

}  // namespace

static_assert(sizeof(State) <= 160, "storage too small for the signal state");

AutoResetEvent::AutoResetEvent() { new (storage_) State(); }
AutoResetEvent::~AutoResetEvent() { Native(storage_)->~State(); }

bool AutoResetEvent::Create() {
  State* s = Native(storage_);
  std::lock_guard<std::mutex> lock(s->mutex);
  s->created = true;
  return true;
}

void AutoResetEvent::Close() {
  State* s = Native(storage_);
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!s->created) return;
    s->created = false;
    s->signalled = false;
    ++s->generation;
  }
  s->wake.notify_all();
}

bool AutoResetEvent::IsCreated() const {
  const State* s = Native(storage_);
  std::lock_guard<std::mutex> lock(s->mutex);
  return s->created;
}

void AutoResetEvent::Set() {
  State* s = Native(storage_);
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!s->created) return;
    s->signalled = true;
  }
  s->wake.notify_one();
}

AutoResetEvent::WaitResult AutoResetEvent::Wait(uint32_t timeoutMs) {
  State* s = Native(storage_);
  std::unique_lock<std::mutex> lock(s->mutex);
  if (!s->created) return FAILED;
  const uint32_t generation = s->generation;
  auto ready = [s, generation] { return s->signalled || s->generation != generation; };
  if (timeoutMs == kForever) {
    s->wake.wait(lock, ready);
  } else if (!s->wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return TIMED_OUT;
  }
  if (s->generation != generation) return FAILED;
  s->signalled = false;  // auto-reset: this waiter consumes the signal
  return SIGNALLED;
}
