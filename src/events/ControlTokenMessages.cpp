#include "events/ControlTokenMessages.h"

#include "events/PayloadFields.h"

namespace {
constexpr auto kControlGrantFields = [](auto& fields, auto& m) { fields(m.token); };
static_assert(LayoutSize<ControlGrantMessage>(kControlGrantFields) == kControlGrantSize);
}  // namespace

void WriteMessage(uint8_t*, const ControlRequestMessage&) {}

bool ParseMessage(const uint8_t*, uint32_t, ControlRequestMessage*) { return true; }

void WriteMessage(uint8_t* out, const ControlGrantMessage& message) {
  WriteFields(out, message, kControlGrantFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, ControlGrantMessage* out) {
  return ParseFields(payload, size, out, kControlGrantFields);
}

void WriteMessage(uint8_t*, const ControlReleaseMessage&) {}

bool ParseMessage(const uint8_t*, uint32_t, ControlReleaseMessage*) { return true; }

void WriteMessage(uint8_t*, const ControlDenialMessage&) {}

bool ParseMessage(const uint8_t*, uint32_t, ControlDenialMessage*) { return true; }
