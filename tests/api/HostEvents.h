#pragma once

// The host's side of the event exchange, as the tests need it: taking
// outgoing events into owned copies (freeing each library block as a host
// must), taking a full-update container apart, and posting what a host
// would receive from other participants. Payloads are built and read with
// the library's portable protocol code, as a host such as zkhost does; the
// bytes that code writes are checked against the catalogue in tests/events.

#include <cstdint>
#include <functional>
#include <vector>

#include "ZKApi.h"
#include "events/MessageBytes.h"

using Bytes = std::vector<uint8_t>;

struct ReceivedEvent {
  uint32_t type;
  Bytes payload;
};
using EventList = std::vector<ReceivedEvent>;

// Takes every event queued now and frees each library block.
EventList TakeQueuedEvents(const ZKApi& zk);
// Waits on the library's signal and takes events until `done` holds for all
// taken so far, or timeoutMs passes; returns done().
bool CollectUntil(const ZKApi& zk, EventList* events,
                  const std::function<bool(const EventList&)>& done, uint32_t timeoutMs = 10000);
EventList OfType(const EventList& events, uint32_t type);

// A full-update container taken apart. False when the record-byte count or a
// record's size disagrees with the payload.
struct FullUpdate {
  uint32_t tag;
  EventList records;
};
bool ParseFullUpdate(const Bytes& payload, FullUpdate* out);

// A container of (type, payload) records as a presenter would build it.
Bytes FullUpdatePayload(uint32_t tag, const EventList& records);

// ZK_PostEvent with a copy of `payload`, or with `payload` cut short by
// `missing` bytes.
bool PostReceived(const ZKApi& zk, uint32_t type, const Bytes& payload, size_t missing = 0);
