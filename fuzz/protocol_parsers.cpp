// Gives received bytes of any length to every parser of the protocol. A
// parser that accepts them must point only inside them, and the record it
// read must survive its builder and parser unchanged: rebuilt, parsed again
// and rebuilt, it gives the same bytes. The first input byte chooses the
// type whose name is formatted; the rest is the payload.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "events/ControlTokenMessages.h"
#include "events/JoinMessages.h"
#include "events/MessageBytes.h"
#include "events/ProtocolMessages.h"

namespace {

// A range a parsed record points at must lie inside the input; every byte
// of it is read too, so that the sanitizers see a range that does not.
void CheckInside(const uint8_t* begin, const uint8_t* end, const uint8_t* p, uint32_t n) {
  if (n > 0 && (p < begin || p > end || n > static_cast<size_t>(end - p))) std::abort();
  volatile uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum = sum + p[i];
}

void CheckPointers(const uint8_t* begin, const uint8_t* end, const DisplayUpdateMessage& update) {
  CheckInside(begin, end, update.stream, update.streamLength + 1);  // the trailing byte too
}
void CheckPointers(const uint8_t* begin, const uint8_t* end, const PaletteMessage& palette) {
  CheckInside(begin, end, palette.entries, kPaletteEntryCount * kPaletteEntrySize);
}
void CheckPointers(const uint8_t* begin, const uint8_t* end, const ChallengeMessage& challenge) {
  CheckInside(begin, end, challenge.nonce, kJoinNonceSize);
}
void CheckPointers(const uint8_t* begin, const uint8_t* end, const JoinMessage& join) {
  CheckInside(begin, end, join.proof, kJoinProofSize);
  CheckInside(begin, end, join.name, join.nameLength);
  if (join.nameLength > kMaxViewerNameSize) std::abort();
}
template <typename Message>
void CheckPointers(const uint8_t*, const uint8_t*, const Message&) {}

template <typename Message>
void RoundTrip(const uint8_t* payload, uint32_t size) {
  Message message;
  if (!ParseMessage(payload, size, &message)) return;
  CheckPointers(payload, payload + size, message);
  const std::vector<uint8_t> once = BytesOf(message);
  Message again;
  if (!ParseMessage(once.data(), static_cast<uint32_t>(once.size()), &again)) std::abort();
  if (BytesOf(again) != once) std::abort();
}

template <typename... Messages>
void RoundTripAll(const uint8_t* payload, uint32_t size) {
  (RoundTrip<Messages>(payload, size), ...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 0xFFFFFFFFu) return 0;
  const uint8_t* payload = data + 1;
  const uint32_t n = static_cast<uint32_t>(size - 1);

  char name[kProtocolTypeNameCapacity];
  FormatProtocolTypeName(data[0] < 16 ? data[0] : 0xFFFFFF00u | data[0], name);

  RoundTripAll<EventHeader, FullUpdateHeader, DisplayFormatMessage, DisplayUpdateMessage,
               PaletteMessage, MouseMessage, KeyboardMessage, CancelInputControlMessage,
               AnnotationMessage, EndAnnotationMessage, AnnotationModeMessage,
               SharedWindowMessage, WindowEventMessage, ControlRequestMessage,
               ControlGrantMessage, ControlReleaseMessage, ControlDenialMessage,
               ChallengeMessage, JoinMessage, WelcomeMessage, RefusedMessage>(payload, n);
  return 0;
}
