#include "events/JoinMessages.h"

#include "events/PayloadFields.h"

namespace {
constexpr auto kChallengeFields = [](auto& fields, auto& m) {
  fields(m.version);
  fields.Bytes(m.nonce, kJoinNonceSize);
};
constexpr auto kJoinFields = [](auto& fields, auto& m) {
  fields(m.version);
  fields.Bytes(m.proof, kJoinProofSize);
  fields(m.nameLength);
  fields.Bytes(m.name, m.nameLength);
};
constexpr auto kWelcomeFields = [](auto& fields, auto& m) { fields(m.viewer); };
constexpr auto kRefusedFields = [](auto& fields, auto& m) { fields(m.reason); };
static_assert(LayoutSize<ChallengeMessage>(kChallengeFields) == kChallengeSize);
static_assert(LayoutSize<JoinMessage>(kJoinFields) == kJoinOverhead);
static_assert(LayoutSize<WelcomeMessage>(kWelcomeFields) == kWelcomeSize);
static_assert(LayoutSize<RefusedMessage>(kRefusedFields) == kRefusedSize);
}  // namespace

void WriteMessage(uint8_t* out, const ChallengeMessage& message) {
  WriteFields(out, message, kChallengeFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, ChallengeMessage* out) {
  return ParseFields(payload, size, out, kChallengeFields);
}

void WriteMessage(uint8_t* out, const JoinMessage& message) {
  WriteFields(out, message, kJoinFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, JoinMessage* out) {
  JoinMessage message;
  if (!ParseFields(payload, size, &message, kJoinFields) ||
      message.nameLength > kMaxViewerNameSize)
    return false;
  *out = message;
  return true;
}

void WriteMessage(uint8_t* out, const WelcomeMessage& message) {
  WriteFields(out, message, kWelcomeFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, WelcomeMessage* out) {
  return ParseFields(payload, size, out, kWelcomeFields);
}

void WriteMessage(uint8_t* out, const RefusedMessage& message) {
  WriteFields(out, message, kRefusedFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, RefusedMessage* out) {
  return ParseFields(payload, size, out, kRefusedFields);
}
