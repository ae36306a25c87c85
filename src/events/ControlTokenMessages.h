#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// Messages that hosts exchange among themselves for the presenter's token
// service, beside the library's events on the same stream. The library never
// queues nor handles them; their types lie above its catalogue. A viewer's
// host asks for control and gives it back; the presenter's host answers a
// request with a token higher than any it gave before, and tells a viewer
// that lost control with the library's own cancel (ZKP_CANCELINPUTCONTROL).
// Conventions in ProtocolTypes.h.

constexpr uint32_t ZKH_REQUESTCONTROL = 0x100;
constexpr uint32_t ZKH_GRANTCONTROL = 0x101;
constexpr uint32_t ZKH_RELEASECONTROL = 0x102;
constexpr uint32_t kFirstHostType = ZKH_REQUESTCONTROL;
constexpr uint32_t kLastHostType = ZKH_RELEASECONTROL;

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
