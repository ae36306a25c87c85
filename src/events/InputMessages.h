#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// Payloads of remote input control: mouse update (ZKP_MOUSEUPDATE, a viewer's
// mouse input) and mouse position (ZKP_MOUSEPOSITION, the presenter's
// pointer) share one layout; keyboard update (ZKP_KEYBOARDUPDATE); cancel
// input control (ZKP_CANCELINPUTCONTROL) has none. Each input message leads
// with the sender's input control token. Conventions in ProtocolTypes.h.

// A point of the presenter's picture as it travels: x in the low 16 bits of
// a 32-bit word, y in the high 16 bits, each signed.
struct PackedPoint {
  int16_t x;
  int16_t y;
};

struct MouseMessage {
  uint32_t token;
  uint32_t message;  // window message number: a move or a button message
  uint32_t wParam;   // button and key state flags of the message
  PackedPoint point;
};
constexpr uint32_t kMouseMessageSize = 16;
inline uint32_t MessageSize(const MouseMessage&) { return kMouseMessageSize; }
void WriteMessage(uint8_t* out, const MouseMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, MouseMessage* out);

struct KeyboardMessage {
  uint32_t token;
  uint32_t message;  // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP
  uint32_t wParam;   // virtual key in the low byte
  uint32_t lParam;   // scan code in bits 16 to 23, extended-key flag in bit 24
};
constexpr uint32_t kKeyboardMessageSize = 16;
inline uint32_t MessageSize(const KeyboardMessage&) { return kKeyboardMessageSize; }
void WriteMessage(uint8_t* out, const KeyboardMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, KeyboardMessage* out);

// The presenter refused an input message whose token was stale; the host
// acts on it. Nothing to write and nothing to read: any payload parses.
struct CancelInputControlMessage {};
constexpr uint32_t kCancelInputControlSize = 0;
inline uint32_t MessageSize(const CancelInputControlMessage&) { return kCancelInputControlSize; }
void WriteMessage(uint8_t* out, const CancelInputControlMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, CancelInputControlMessage* out);
