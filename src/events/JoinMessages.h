#pragma once

#include <cstdint>

#include "events/HostTypes.h"
#include "events/ProtocolTypes.h"

// How a viewer's host is admitted to a presenter's session, before any event
// flows (types in HostTypes.h). The presenter challenges with a random nonce;
// the viewer answers with a proof that it holds the session's join key (the
// key itself never travels) and a name for the presenter's person to see;
// the presenter welcomes it, naming it, or refuses it with a reason. A
// version leads the first two, so that a host of another version is refused
// rather than misread. Conventions in ProtocolTypes.h.

constexpr uint32_t kJoinVersion = 1;
constexpr uint32_t kJoinNonceSize = 32;
constexpr uint32_t kJoinProofSize = 32;
constexpr uint32_t kMaxViewerNameSize = 64;

struct ChallengeMessage {
  uint32_t version;
  const uint8_t* nonce;  // kJoinNonceSize bytes
};
constexpr uint32_t kChallengeSize = 4 + kJoinNonceSize;
inline uint32_t MessageSize(const ChallengeMessage&) { return kChallengeSize; }
void WriteMessage(uint8_t* out, const ChallengeMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, ChallengeMessage* out);

struct JoinMessage {
  uint32_t version;
  const uint8_t* proof;  // kJoinProofSize bytes
  uint8_t nameLength;    // at most kMaxViewerNameSize
  const uint8_t* name;
};
constexpr uint32_t kJoinOverhead = 4 + kJoinProofSize + 1;
inline uint32_t MessageSize(const JoinMessage& message) {
  return kJoinOverhead + message.nameLength;
}
void WriteMessage(uint8_t* out, const JoinMessage& message);
// Also fails for a name longer than the bound.
bool ParseMessage(const uint8_t* payload, uint32_t size, JoinMessage* out);

// The viewer is in; the presenter calls it by this number.
struct WelcomeMessage {
  uint32_t viewer;
};
constexpr uint32_t kWelcomeSize = 4;
inline uint32_t MessageSize(const WelcomeMessage&) { return kWelcomeSize; }
void WriteMessage(uint8_t* out, const WelcomeMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, WelcomeMessage* out);

enum class JoinRefusal : uint8_t {
  kWrongKey = 1,
  kVersion = 2,
  kTooManyAttempts = 3,  // this address tried wrong keys: it waits a while
  kFull = 4,             // the presenter serves as many viewers as it can
};
struct RefusedMessage {
  uint8_t reason;  // a JoinRefusal
};
constexpr uint32_t kRefusedSize = 1;
inline uint32_t MessageSize(const RefusedMessage&) { return kRefusedSize; }
void WriteMessage(uint8_t* out, const RefusedMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, RefusedMessage* out);
