#include "events/ProtocolTypes.h"

#include <cstdio>

#include "events/PayloadFields.h"

namespace {
const char* const kTypeNames[] = {
    "ZKP_DISPLAYFORMAT",      "ZKP_DISPLAYUPDATE", "ZKP_FULLUPDATE", "ZKP_MOUSEUPDATE",
    "ZKP_KEYBOARDUPDATE",     "ZKP_SHAREDWINDOW",  "ZKP_ANNOTATION", "ZKP_ENDANNOTATION",
    "ZKP_CANCELINPUTCONTROL", "ZKP_WINDOWEVENT",
};

constexpr auto kEventHeaderFields = [](auto& fields, auto& m) {
  fields(m.type);
  fields(m.size);
};
static_assert(LayoutSize<EventHeader>(kEventHeaderFields) == kEventHeaderSize);
}  // namespace

void FormatProtocolTypeName(uint32_t type, char (&name)[kProtocolTypeNameCapacity]) {
  if (type < sizeof kTypeNames / sizeof kTypeNames[0]) {
    std::snprintf(name, sizeof name, "%s", kTypeNames[type]);
  } else {
    std::snprintf(name, sizeof name, "Unknow Type: %d", static_cast<int>(type));
  }
}

void WriteMessage(uint8_t* out, const EventHeader& header) {
  WriteFields(out, header, kEventHeaderFields);
}

bool ParseMessage(const uint8_t* bytes, uint32_t size, EventHeader* out) {
  return ParseFields(bytes, size, out, kEventHeaderFields);
}
