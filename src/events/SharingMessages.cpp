#include "events/SharingMessages.h"

#include <cstring>

#include "events/PayloadFields.h"

namespace {
// The title follows these and fills the rest of the payload.
constexpr auto kSharedWindowHead = [](auto& fields, auto& m) {
  fields(m.code);
  fields(m.window);
};
static_assert(LayoutSize<SharedWindowMessage>(kSharedWindowHead) + kSharedWindowTitleSize ==
              kSharedWindowSize);

constexpr auto kWindowEventFields = [](auto& fields, auto& m) {
  fields(m.message);
  fields(m.wParam);
  fields(m.lParam);
  fields(m.x);
  fields(m.y);
};
static_assert(LayoutSize<WindowEventMessage>(kWindowEventFields) == kWindowEventSize);
}  // namespace

void WriteMessage(uint8_t* out, const SharedWindowMessage& message) {
  FieldWriter fields(out);
  kSharedWindowHead(fields, message);
  const uint32_t length =
      static_cast<uint32_t>(strnlen(message.title, kSharedWindowTitleSize - 1));
  fields.Bytes(reinterpret_cast<const uint8_t*>(message.title), length);
  fields.Zeros(kSharedWindowTitleSize - length);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, SharedWindowMessage* out) {
  FieldReader fields(payload, size);
  SharedWindowMessage report{};
  kSharedWindowHead(fields, report);
  const uint8_t* title = nullptr;
  fields.Bytes(title, kSharedWindowTitleSize);
  if (fields.Failed()) return false;
  std::memcpy(report.title, title, kSharedWindowTitleSize - 1);
  *out = report;
  return true;
}

void WriteMessage(uint8_t* out, const WindowEventMessage& message) {
  WriteFields(out, message, kWindowEventFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, WindowEventMessage* out) {
  return ParseFields(payload, size, out, kWindowEventFields);
}
