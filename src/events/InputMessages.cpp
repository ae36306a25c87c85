#include "events/InputMessages.h"

#include "events/PayloadFields.h"

namespace {
constexpr auto kMouseFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields(m.message);
  fields(m.wParam);
  fields(m.point.x);
  fields(m.point.y);
};
static_assert(LayoutSize<MouseMessage>(kMouseFields) == kMouseMessageSize);

constexpr auto kKeyboardFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields(m.message);
  fields(m.wParam);
  fields(m.lParam);
};
static_assert(LayoutSize<KeyboardMessage>(kKeyboardFields) == kKeyboardMessageSize);
}  // namespace

void WriteMessage(uint8_t* out, const MouseMessage& message) {
  WriteFields(out, message, kMouseFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, MouseMessage* out) {
  return ParseFields(payload, size, out, kMouseFields);
}

void WriteMessage(uint8_t* out, const KeyboardMessage& message) {
  WriteFields(out, message, kKeyboardFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, KeyboardMessage* out) {
  return ParseFields(payload, size, out, kKeyboardFields);
}

void WriteMessage(uint8_t*, const CancelInputControlMessage&) {}

bool ParseMessage(const uint8_t*, uint32_t, CancelInputControlMessage*) { return true; }
