#pragma once

#include <cstddef>
#include <cstdint>

#include "ZKEvents.h"

// The catalogue of protocol messages: the type numbers, their debug names,
// and the framing of one event (type, payload size, payload), which is both
// how a full-update container lays out its records and how hosts carry
// events between machines.
//
// Every type has, in the header of its family, a record, a builder and a
// parser, overloaded on the record so that generic code can reach any of
// them:
//   uint32_t MessageSize(const Record&)       payload bytes the builder writes
//   void WriteMessage(uint8_t* out, const Record&)
//   bool ParseMessage(const uint8_t* payload, uint32_t size, Record* out)
// Builders write MessageSize bytes, little-endian and packed. Payloads come
// from other machines: a parser checks every field against what is left of
// the payload before reading it, and returns false, leaving `out` untouched,
// for a payload too short for what it reads or inconsistent with its own
// length fields. Bytes past what a parser reads are ignored. Pointers in a
// parsed record point into the payload.
//
//   DisplayMessages.h     display format (0), display update (1), palette (12)
//   FullUpdateContainer.h full update (2)
//   InputMessages.h       mouse update (3), keyboard update (4),
//                         cancel input control (8), mouse position (10)
//   AnnotationMessages.h  annotation (6), end annotation (7), annotation mode (11)
//   SharingMessages.h     shared window (5), window event (9)
//
// Free functions, no state; any thread.

// The type numbers (ZKP_*) are the hosts' as much as ours: ZKEvents.h, the
// public header, states them.
constexpr uint32_t kHighestProtocolType = ZKP_PALETTE;

// The debug name of a type: its catalogue name for 0 to 9, "Unknow Type: %d"
// for the rest, spelled so that every participant's log reads alike.
constexpr size_t kProtocolTypeNameCapacity = 32;
void FormatProtocolTypeName(uint32_t type, char (&name)[kProtocolTypeNameCapacity]);

// What leads every event: its type and the number of payload bytes after it.
struct EventHeader {
  uint32_t type;
  uint32_t size;
};
constexpr uint32_t kEventHeaderSize = 8;
inline uint32_t MessageSize(const EventHeader&) { return kEventHeaderSize; }
void WriteMessage(uint8_t* out, const EventHeader& header);
// The size is returned as read: whether that many bytes follow is the
// caller's to check.
bool ParseMessage(const uint8_t* bytes, uint32_t size, EventHeader* out);
