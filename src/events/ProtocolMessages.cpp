#include "events/ProtocolMessages.h"

#include <cstdio>
#include <cstring>

#include "common/ByteOrder.h"

namespace {

const char* const kTypeNames[] = {
    "ZKP_DISPLAYFORMAT",      "ZKP_DISPLAYUPDATE", "ZKP_FULLUPDATE", "ZKP_MOUSEUPDATE",
    "ZKP_KEYBOARDUPDATE",     "ZKP_SHAREDWINDOW",  "ZKP_ANNOTATION", "ZKP_ENDANNOTATION",
    "ZKP_CANCELINPUTCONTROL", "ZKP_WINDOWEVENT",
};

// Offsets of the display-update fields.
constexpr uint32_t kUpdateKindOffset = 4;
constexpr uint32_t kUpdateLeftOffset = 5;
constexpr uint32_t kUpdateTopOffset = 7;
constexpr uint32_t kUpdateWidthOffset = 9;
constexpr uint32_t kUpdateHeightOffset = 11;
constexpr uint32_t kUpdateLengthOffset = 13;
constexpr uint8_t kUpdateKind = 1;

}  // namespace

void FormatProtocolTypeName(uint32_t type, char (&name)[kProtocolTypeNameCapacity]) {
  if (type < sizeof kTypeNames / sizeof kTypeNames[0]) {
    std::snprintf(name, sizeof name, "%s", kTypeNames[type]);
  } else {
    std::snprintf(name, sizeof name, "Unknow Type: %d", static_cast<int>(type));
  }
}

uint32_t MinimumPayloadSize(uint32_t type) {
  switch (type) {
    case ZKP_DISPLAYFORMAT:
      return kDisplayFormatSize;
    case ZKP_DISPLAYUPDATE:
      return kDisplayUpdateOverhead;
    case ZKP_MOUSEUPDATE:
    case ZKP_KEYBOARDUPDATE:
    case ZKP_MOUSEPOSITION:
      return kInputMessageSize;
    case ZKP_ANNOTATION:
      return kAnnotationClearAllSize;
    case ZKP_ANNOTATIONMODE:
      return kAnnotationModeSize;
    case ZKP_PALETTE:
      return kPaletteSize;
    default:
      return 0;
  }
}

uint32_t RequiredAnnotationSize(uint8_t kind) {
  return kind == kAnnotationHighlight || kind == kAnnotationMarker ? kAnnotationSize
                                                                   : kAnnotationClearAllSize;
}

bool PayloadIsComplete(uint32_t type, const uint8_t* payload, uint32_t size) {
  if (size > 0 && !payload) return false;
  if (size < MinimumPayloadSize(type)) return false;
  if (type == ZKP_DISPLAYUPDATE) {
    return LoadU32LE(payload + kUpdateLengthOffset) <= size - kDisplayUpdateOverhead;
  }
  if (type == ZKP_ANNOTATION) return size >= RequiredAnnotationSize(payload[0]);
  return true;
}

void WriteDisplayFormat(uint8_t* out, uint32_t token, uint16_t width, uint16_t height) {
  StoreU32LE(out, token);
  StoreU16LE(out + 4, width);
  StoreU16LE(out + 6, height);
}

uint32_t DisplayUpdateSize(uint32_t streamLength) { return streamLength + kDisplayUpdateOverhead; }

void WriteDisplayUpdate(uint8_t* out, uint32_t token, const DisplayRect& rect,
                        const uint8_t* stream, uint32_t streamLength) {
  StoreU32LE(out, token);
  out[kUpdateKindOffset] = kUpdateKind;
  StoreU16LE(out + kUpdateLeftOffset, rect.left);
  StoreU16LE(out + kUpdateTopOffset, rect.top);
  StoreU16LE(out + kUpdateWidthOffset, rect.width);
  StoreU16LE(out + kUpdateHeightOffset, rect.height);
  StoreU32LE(out + kUpdateLengthOffset, streamLength);
  uint8_t* streamOut = out + kDisplayUpdateStreamOffset;
  if (streamLength > 0 && stream != streamOut) std::memmove(streamOut, stream, streamLength);
  streamOut[streamLength] = 0;
}

void WritePalette(uint8_t* out, uint32_t token, const uint32_t (&entries)[kPaletteEntryCount]) {
  StoreU32LE(out, token);
  for (uint32_t i = 0; i < kPaletteEntryCount; ++i) StoreU32LE(out + 4 + 4 * i, entries[i]);
}

void WriteFullUpdateHeader(uint8_t* out, uint32_t requestTag, uint32_t recordBytes) {
  StoreU32LE(out, requestTag);
  StoreU32LE(out + 4, recordBytes);
}

void WriteRecordHeader(uint8_t* out, uint32_t type, uint32_t size) {
  StoreU32LE(out, type);
  StoreU32LE(out + 4, size);
}

bool ParseDisplayFormat(const uint8_t* payload, uint32_t size, DisplayFormat* out) {
  if (!PayloadIsComplete(ZKP_DISPLAYFORMAT, payload, size)) return false;
  out->token = LoadU32LE(payload);
  out->width = LoadU16LE(payload + 4);
  out->height = LoadU16LE(payload + 6);
  return true;
}

bool ParseDisplayUpdate(const uint8_t* payload, uint32_t size, DisplayUpdate* out) {
  if (!PayloadIsComplete(ZKP_DISPLAYUPDATE, payload, size)) return false;
  out->token = LoadU32LE(payload);
  out->left = LoadU16LE(payload + kUpdateLeftOffset);
  out->top = LoadU16LE(payload + kUpdateTopOffset);
  out->width = LoadU16LE(payload + kUpdateWidthOffset);
  out->height = LoadU16LE(payload + kUpdateHeightOffset);
  out->streamLength = LoadU32LE(payload + kUpdateLengthOffset);
  out->stream = payload + kDisplayUpdateStreamOffset;
  return true;
}

bool ParsePalette(const uint8_t* payload, uint32_t size, Palette* out) {
  if (!PayloadIsComplete(ZKP_PALETTE, payload, size)) return false;
  out->token = LoadU32LE(payload);
  out->entries = payload + 4;
  return true;
}

bool ReadFullUpdateHeader(const uint8_t* payload, uint32_t size, uint32_t* requestTag,
                          uint32_t* recordBytes) {
  if (!payload || size < kFullUpdateHeaderSize) return false;
  *requestTag = LoadU32LE(payload);
  *recordBytes = LoadU32LE(payload + 4);
  return true;
}
