#pragma once

#include <cstdint>

#include "events/HostTypes.h"
#include "events/ProtocolTypes.h"

// Messages that hosts exchange among themselves for the presenter's token
// service (types in HostTypes.h). A viewer's host asks for control and gives
// it back; the presenter's host answers a request with a token higher than
// any it gave before, or refuses it, and tells a viewer that lost control
// with the library's own cancel (ZKP_CANCELINPUTCONTROL). Conventions in
// ProtocolTypes.h.

// A viewer asks for input control. No payload.
struct ControlRequestMessage {};
constexpr uint32_t kControlRequestSize = 0;
inline uint32_t MessageSize(const ControlRequestMessage&) { return kControlRequestSize; }
void WriteMessage(uint8_t* out, const ControlRequestMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, ControlRequestMessage* out);

// The presenter grants it: the viewer's library sends its input under this
// token (ZK_EnableInputControl).
struct ControlGrantMessage {
  uint32_t token;
};
constexpr uint32_t kControlGrantSize = 4;
inline uint32_t MessageSize(const ControlGrantMessage&) { return kControlGrantSize; }
void WriteMessage(uint8_t* out, const ControlGrantMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, ControlGrantMessage* out);

// A viewer gives control back. No payload.
struct ControlReleaseMessage {};
constexpr uint32_t kControlReleaseSize = 0;
inline uint32_t MessageSize(const ControlReleaseMessage&) { return kControlReleaseSize; }
void WriteMessage(uint8_t* out, const ControlReleaseMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, ControlReleaseMessage* out);

// The presenter refuses a viewer's request for control. No payload.
struct ControlDenialMessage {};
constexpr uint32_t kControlDenialSize = 0;
inline uint32_t MessageSize(const ControlDenialMessage&) { return kControlDenialSize; }
void WriteMessage(uint8_t* out, const ControlDenialMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, ControlDenialMessage* out);
