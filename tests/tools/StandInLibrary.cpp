#include "StandInLibrary.h"

#include <windows.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "events/FullUpdateContainer.h"

namespace standin {
namespace {
struct State {
  std::mutex mutex;
  std::condition_variable queued;
  std::deque<std::pair<uint32_t, std::vector<uint8_t>>> events;
  std::map<uint32_t, int> posted;
};
State& The() {
  static State state;
  return state;
}

uint8_t __cdecl WaitForEvents(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(The().mutex);
  return The().queued.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [] { return !The().events.empty(); });
}

uint8_t __cdecl GetQueuedEvent(ZKEvent* out) {
  std::lock_guard<std::mutex> lock(The().mutex);
  if (The().events.empty()) return 0;
  auto& [type, payload] = The().events.front();
  out->type = type;
  out->size = static_cast<uint32_t>(payload.size());
  out->payload = nullptr;
  if (!payload.empty()) {
    out->payload = static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED, payload.size()));
    std::memcpy(out->payload, payload.data(), payload.size());
  }
  The().events.pop_front();
  return 1;
}

uint8_t __cdecl PostEvent(const ZKEvent* in) {
  std::lock_guard<std::mutex> lock(The().mutex);
  ++The().posted[in->type];
  return 1;
}

uint8_t __cdecl RequestFullUpdate(uint32_t tag) {
  std::vector<uint8_t> container(kFullUpdateHeaderSize);
  WriteMessage(container.data(), FullUpdateHeader{tag, 0});
  Queue(ZKP_FULLUPDATE, container);
  return 1;
}
}  // namespace

ZKLibrary Fresh() {
  {
    std::lock_guard<std::mutex> lock(The().mutex);
    The().events.clear();
    The().posted.clear();
  }
  ZKLibrary library;
  library.WaitForEvents = WaitForEvents;
  library.GetQueuedEvent = GetQueuedEvent;
  library.PostEvent = PostEvent;
  library.RequestFullUpdate = RequestFullUpdate;
  return library;
}

void Queue(uint32_t type, const std::vector<uint8_t>& payload) {
  std::lock_guard<std::mutex> lock(The().mutex);
  The().events.emplace_back(type, payload);
  The().queued.notify_all();
}

int Posted(uint32_t type) {
  std::lock_guard<std::mutex> lock(The().mutex);
  return The().posted[type];
}
}  // namespace standin
