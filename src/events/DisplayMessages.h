#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// Payloads of the display messages, which a presenter sends and viewers
// apply: display format (ZKP_DISPLAYFORMAT), display update
// (ZKP_DISPLAYUPDATE) and palette (ZKP_PALETTE). Each leads with the
// presenter's capture token. Conventions in ProtocolTypes.h.

// The size of the presenter's frame.
struct DisplayFormatMessage {
  uint32_t token;
  uint16_t width;
  uint16_t height;
};
constexpr uint32_t kDisplayFormatSize = 8;
inline uint32_t MessageSize(const DisplayFormatMessage&) { return kDisplayFormatSize; }
void WriteMessage(uint8_t* out, const DisplayFormatMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, DisplayFormatMessage* out);

// One rectangle of the frame (frame pixels, top-down) and its compressed
// stream. On the wire an update-kind byte (always 1) stands before the
// rectangle and a byte that carries nothing (0) after the stream; receivers
// ignore both, but the trailing byte must be there.
struct DisplayUpdateMessage {
  uint32_t token;
  uint16_t left;
  uint16_t top;
  uint16_t width;
  uint16_t height;
  uint32_t streamLength;
  const uint8_t* stream;
};
constexpr uint32_t kDisplayUpdateOverhead = 18;  // fields before the stream, and the trailing byte
inline uint32_t DisplayUpdateSize(uint32_t streamLength) {
  return streamLength + kDisplayUpdateOverhead;
}
inline uint32_t MessageSize(const DisplayUpdateMessage& message) {
  return DisplayUpdateSize(message.streamLength);
}
void WriteMessage(uint8_t* out, const DisplayUpdateMessage& message);
// Refuses a stream length that reaches past the trailing byte.
bool ParseMessage(const uint8_t* payload, uint32_t size, DisplayUpdateMessage* out);

// The colour table that viewers expand 8-bit (3-3-2) pixels through: entry i
// is four bytes, blue, green, red and a reserved byte, for 8-bit value i.
constexpr uint32_t kPaletteEntryCount = 256;
constexpr uint32_t kPaletteEntrySize = 4;
struct PaletteMessage {
  uint32_t token;
  const uint8_t* entries;  // kPaletteEntryCount * kPaletteEntrySize bytes
};
constexpr uint32_t kPaletteSize = 4 + kPaletteEntryCount * kPaletteEntrySize;
inline uint32_t MessageSize(const PaletteMessage&) { return kPaletteSize; }
void WriteMessage(uint8_t* out, const PaletteMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, PaletteMessage* out);
