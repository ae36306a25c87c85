#pragma once

// The host's side of the event exchange, as the tests need it: taking
// outgoing events into owned copies (freeing each library block as a host
// must), reading the full-update container, and building the payloads that a
// host would receive from other participants. Wire values are written out
// here rather than taken from the library, so that the tests check them.

#include <cstdint>
#include <functional>
#include <vector>

#include "ZKApi.h"

namespace wire {
constexpr uint32_t kDisplayFormat = 0;
constexpr uint32_t kDisplayUpdate = 1;
constexpr uint32_t kFullUpdate = 2;
constexpr uint32_t kMouseUpdate = 3;
constexpr uint32_t kKeyboardUpdate = 4;
constexpr uint32_t kAnnotation = 6;
constexpr uint32_t kCancelInputControl = 8;
constexpr uint32_t kMousePosition = 10;
constexpr uint32_t kAnnotationMode = 11;
constexpr uint32_t kPalette = 12;

constexpr uint32_t kDisplayFormatSize = 8;
constexpr uint32_t kInputSize = 16;
constexpr uint32_t kAnnotationSize = 22;
constexpr uint32_t kAnnotationModeSize = 5;
constexpr uint32_t kPaletteSize = 1028;
constexpr uint32_t kDisplayUpdateFields = 17;  // before the stream; a trailing byte follows it
}  // namespace wire

using Bytes = std::vector<uint8_t>;

struct ReceivedEvent {
  uint32_t type;
  Bytes payload;
};
using EventList = std::vector<ReceivedEvent>;

uint32_t ReadU32(const Bytes& bytes, size_t offset);
uint16_t ReadU16(const Bytes& bytes, size_t offset);
void AppendU32(Bytes* bytes, uint32_t value);
void AppendU16(Bytes* bytes, uint16_t value);

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

// Payloads as other participants send them.
Bytes DisplayFormatPayload(uint32_t token, uint16_t width, uint16_t height);
Bytes DisplayUpdatePayload(uint32_t token, uint16_t left, uint16_t top, uint16_t width,
                           uint16_t height, const Bytes& stream);
Bytes PalettePayload(uint32_t token);
Bytes InputPayload(uint32_t token, uint32_t message, uint32_t wParam, uint32_t last);
Bytes AnnotationModePayload(uint32_t token, uint8_t on);
Bytes HighlightPayload();
// A container of (type, payload) records as a presenter would build it.
Bytes FullUpdatePayload(uint32_t tag, const EventList& records);

// ZK_PostEvent with a copy of `payload`, or with `payload` cut short by
// `missing` bytes.
bool PostReceived(const ZKApi& zk, uint32_t type, const Bytes& payload, size_t missing = 0);
