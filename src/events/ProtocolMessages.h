#pragma once

#include <cstddef>
#include <cstdint>

// The protocol messages that travel between participants: the catalogue of
// types, the payload sizes, builders of the display payloads and the
// full-update container, and parsers for received display payloads.
//
// Payloads are little-endian and packed; 16-bit fields stand at odd offsets,
// so everything is written and read a byte at a time. Received payloads come
// from other machines: parsers check the length before reading anything.
// Free functions, no state; any thread.

constexpr uint32_t ZKP_DISPLAYFORMAT = 0;
constexpr uint32_t ZKP_DISPLAYUPDATE = 1;
constexpr uint32_t ZKP_FULLUPDATE = 2;
constexpr uint32_t ZKP_MOUSEUPDATE = 3;
constexpr uint32_t ZKP_KEYBOARDUPDATE = 4;
constexpr uint32_t ZKP_SHAREDWINDOW = 5;
constexpr uint32_t ZKP_ANNOTATION = 6;
constexpr uint32_t ZKP_ENDANNOTATION = 7;
constexpr uint32_t ZKP_CANCELINPUTCONTROL = 8;
constexpr uint32_t ZKP_WINDOWEVENT = 9;
constexpr uint32_t ZKP_MOUSEPOSITION = 10;
constexpr uint32_t ZKP_ANNOTATIONMODE = 11;
constexpr uint32_t ZKP_PALETTE = 12;

// Payload sizes as the builders produce them.
constexpr uint32_t kDisplayFormatSize = 8;
constexpr uint32_t kDisplayUpdateStreamOffset = 17;
constexpr uint32_t kDisplayUpdateOverhead = 18;  // fields before the stream, and the trailing byte
constexpr uint32_t kPaletteEntryCount = 256;
constexpr uint32_t kPaletteSize = 4 + 4 * kPaletteEntryCount;
constexpr uint32_t kInputMessageSize = 16;  // mouse update, mouse position, keyboard update
constexpr uint32_t kAnnotationSize = 22;
constexpr uint32_t kAnnotationClearAllSize = 2;  // kind and flag: all a receiver reads of it
constexpr uint32_t kAnnotationModeSize = 5;
constexpr uint32_t kFullUpdateHeaderSize = 8;  // request tag, record-byte count
constexpr uint32_t kRecordHeaderSize = 8;      // type, size

// Annotation kinds at payload byte 0.
constexpr uint8_t kAnnotationHighlight = 0;
constexpr uint8_t kAnnotationMarker = 1;
constexpr uint8_t kAnnotationClearAll = 2;

// The debug name of a type: its catalogue name for 0 to 9, "Unknow Type: %d"
// for the rest (the spelling is what peers' logs have always shown).
constexpr size_t kProtocolTypeNameCapacity = 32;
void FormatProtocolTypeName(uint32_t type, char (&name)[kProtocolTypeNameCapacity]);

// The fewest payload bytes a handler of this received type needs; 0 for types
// that no handler reads. Annotation needs only its kind and flag here: how
// much more depends on the kind (see RequiredAnnotationSize).
uint32_t MinimumPayloadSize(uint32_t type);

// Annotation payload bytes the receiver reads for a kind: a clear-all message
// defines only kind and flag; an element carries the whole rectangle and
// colour. Unknown kinds are refused after reading the kind alone.
uint32_t RequiredAnnotationSize(uint8_t kind);

// True when a received payload of this type is long enough, and consistent
// with its own length fields, for the handler of the type to read it.
bool PayloadIsComplete(uint32_t type, const uint8_t* payload, uint32_t size);

// Builders: each writes a whole payload into a caller buffer of the size
// named, fields little-endian.

// kDisplayFormatSize bytes.
void WriteDisplayFormat(uint8_t* out, uint32_t token, uint16_t width, uint16_t height);

struct DisplayRect {
  uint16_t left;
  uint16_t top;
  uint16_t width;
  uint16_t height;
};

// DisplayUpdateSize(streamLength) bytes. The stream may already stand at
// out + kDisplayUpdateStreamOffset (a compressor writing in place); it is then
// left where it is. The trailing byte is written 0.
uint32_t DisplayUpdateSize(uint32_t streamLength);
void WriteDisplayUpdate(uint8_t* out, uint32_t token, const DisplayRect& rect,
                        const uint8_t* stream, uint32_t streamLength);

// kPaletteSize bytes; entry i holds blue in its low byte, then green, red and
// a reserved byte, as the frame's palette table keeps them.
void WritePalette(uint8_t* out, uint32_t token, const uint32_t (&entries)[kPaletteEntryCount]);

// Full-update container: kFullUpdateHeaderSize bytes of header, then records
// each led by kRecordHeaderSize bytes.
void WriteFullUpdateHeader(uint8_t* out, uint32_t requestTag, uint32_t recordBytes);
void WriteRecordHeader(uint8_t* out, uint32_t type, uint32_t size);

// Parsers of received display payloads. Each returns false, leaving out
// untouched, for a payload too short for its type or inconsistent with its
// own length fields. Pointers in the results point into the payload.

struct DisplayFormat {
  uint32_t token;
  uint16_t width;
  uint16_t height;
};
bool ParseDisplayFormat(const uint8_t* payload, uint32_t size, DisplayFormat* out);

struct DisplayUpdate {
  uint32_t token;
  uint16_t left;
  uint16_t top;
  uint16_t width;
  uint16_t height;
  uint32_t streamLength;
  const uint8_t* stream;
};
bool ParseDisplayUpdate(const uint8_t* payload, uint32_t size, DisplayUpdate* out);

struct Palette {
  uint32_t token;
  const uint8_t* entries;  // kPaletteEntryCount entries of blue, green, red, reserved
};
bool ParsePalette(const uint8_t* payload, uint32_t size, Palette* out);

// The header of a received full-update container; false when the payload
// cannot hold it. The record-byte count is returned as read, unchecked.
bool ReadFullUpdateHeader(const uint8_t* payload, uint32_t size, uint32_t* requestTag,
                          uint32_t* recordBytes);
