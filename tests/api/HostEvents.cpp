#include "HostEvents.h"

#include <windows.h>

#include "events/ContainerBuilder.h"

namespace {
uint32_t Remaining(DWORD start, uint32_t timeoutMs) {
  DWORD spent = GetTickCount() - start;
  return spent >= timeoutMs ? 0 : timeoutMs - spent;
}

// Collects the records of a container that its walk delivers.
class RecordList final : public ContainerRecordSink {
 public:
  explicit RecordList(EventList* records) : records_(records) {}
  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    records_->push_back(ReceivedEvent{type, Bytes(payload, payload + size)});
    return true;
  }

 private:
  EventList* records_;
};
}  // namespace

EventList TakeQueuedEvents(const ZKApi& zk) {
  EventList taken;
  HostEvent event;
  while (zk.GetQueuedEvent(&event)) {
    taken.push_back(ReceivedEvent{event.type, Bytes(event.payload, event.payload + event.size)});
    if (event.payload) GlobalFree(event.payload);
  }
  return taken;
}

bool CollectUntil(const ZKApi& zk, EventList* events,
                  const std::function<bool(const EventList&)>& done, uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    EventList more = TakeQueuedEvents(zk);
    events->insert(events->end(), more.begin(), more.end());
    if (done(*events)) return true;
    uint32_t left = Remaining(start, timeoutMs);
    if (left == 0) return false;
    zk.WaitForEvents(left);
  }
}

EventList OfType(const EventList& events, uint32_t type) {
  EventList selected;
  for (const ReceivedEvent& e : events)
    if (e.type == type) selected.push_back(e);
  return selected;
}

bool ParseFullUpdate(const Bytes& payload, FullUpdate* out) {
  const uint32_t size = static_cast<uint32_t>(payload.size());
  FullUpdateHeader header;
  if (!ParseMessage(payload.data(), size, &header)) return false;
  if (header.recordBytes != size - kFullUpdateHeaderSize) return false;
  out->tag = header.requestTag;
  out->records.clear();
  RecordList records(&out->records);
  return WalkFullUpdateContainer(payload.data(), size, records) == ContainerWalk::COMPLETE;
}

Bytes FullUpdatePayload(uint32_t tag, const EventList& records) {
  ContainerBuilder container(tag);
  for (const ReceivedEvent& r : records) container.Record(r.type, r.payload);
  return container.Build();
}

bool PostReceived(const ZKApi& zk, uint32_t type, const Bytes& payload, size_t missing) {
  size_t size = missing < payload.size() ? payload.size() - missing : 0;
  Bytes copy(payload.begin(), payload.begin() + size);
  HostEvent event = {type, static_cast<uint32_t>(size), size ? copy.data() : nullptr};
  return zk.PostEvent(&event) != 0;
}
