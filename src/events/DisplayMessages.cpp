#include "events/DisplayMessages.h"

#include "events/PayloadFields.h"

namespace {
constexpr uint8_t kUpdateKind = 1;
constexpr uint32_t kPaletteEntryBytes = kPaletteEntryCount * kPaletteEntrySize;

constexpr auto kDisplayFormatFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields(m.width);
  fields(m.height);
};
static_assert(LayoutSize<DisplayFormatMessage>(kDisplayFormatFields) == kDisplayFormatSize);

// The trailing byte carries nothing, but a payload without it is cut short.
constexpr auto kDisplayUpdateFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields.Constant(kUpdateKind);
  fields(m.left);
  fields(m.top);
  fields(m.width);
  fields(m.height);
  fields(m.streamLength);
  fields.Bytes(m.stream, m.streamLength);
  fields.Constant(0);
};
static_assert(LayoutSize<DisplayUpdateMessage>(kDisplayUpdateFields) == kDisplayUpdateOverhead);

constexpr auto kPaletteFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields.Bytes(m.entries, kPaletteEntryBytes);
};
static_assert(LayoutSize<PaletteMessage>(kPaletteFields) == kPaletteSize);
}  // namespace

void WriteMessage(uint8_t* out, const DisplayFormatMessage& message) {
  WriteFields(out, message, kDisplayFormatFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, DisplayFormatMessage* out) {
  return ParseFields(payload, size, out, kDisplayFormatFields);
}

void WriteMessage(uint8_t* out, const DisplayUpdateMessage& message) {
  WriteFields(out, message, kDisplayUpdateFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, DisplayUpdateMessage* out) {
  return ParseFields(payload, size, out, kDisplayUpdateFields);
}

void WriteMessage(uint8_t* out, const PaletteMessage& message) {
  WriteFields(out, message, kPaletteFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, PaletteMessage* out) {
  return ParseFields(payload, size, out, kPaletteFields);
}
