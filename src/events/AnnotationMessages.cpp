#include "events/AnnotationMessages.h"

#include "events/PayloadFields.h"

namespace {
constexpr auto kKindAndFlag = [](auto& fields, auto& m) {
  fields(m.kind);
  fields(m.flag);
};

constexpr auto kAnnotationFields = [](auto& fields, auto& m) {
  kKindAndFlag(fields, m);
  fields(m.left);
  fields(m.top);
  fields(m.right);
  fields(m.bottom);
  fields(m.colour);
};
static_assert(LayoutSize<AnnotationMessage>(kAnnotationFields) == kAnnotationSize);

constexpr auto kAnnotationModeFields = [](auto& fields, auto& m) {
  fields(m.token);
  fields(m.on);
};
static_assert(LayoutSize<AnnotationModeMessage>(kAnnotationModeFields) == kAnnotationModeSize);

bool IsElement(uint8_t kind) { return kind == kAnnotationHighlight || kind == kAnnotationMarker; }
}  // namespace

void WriteMessage(uint8_t* out, const AnnotationMessage& message) {
  WriteFields(out, message, kAnnotationFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, AnnotationMessage* out) {
  AnnotationMessage head;
  if (!ParseFields(payload, size, &head, kKindAndFlag)) return false;
  if (!IsElement(head.kind)) {
    *out = head;
    return true;
  }
  AnnotationMessage element;
  if (!ParseFields(payload, size, &element, kAnnotationFields)) return false;
  if (element.kind != kAnnotationMarker) element.colour = 0;
  *out = element;
  return true;
}

void WriteMessage(uint8_t* out, const EndAnnotationMessage&) { FieldWriter(out).Constant(0); }

bool ParseMessage(const uint8_t*, uint32_t, EndAnnotationMessage*) { return true; }

void WriteMessage(uint8_t* out, const AnnotationModeMessage& message) {
  WriteFields(out, message, kAnnotationModeFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, AnnotationModeMessage* out) {
  return ParseFields(payload, size, out, kAnnotationModeFields);
}
