#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// Payloads that report windows to the host, which the library queues and
// never handles: shared-window reports (ZKP_SHAREDWINDOW) and window events
// (ZKP_WINDOWEVENT). Conventions in ProtocolTypes.h.

// One change of the set of shared windows on the presenter.
constexpr uint32_t kSharedWindowTitleSize = ZKSW_TITLE_SIZE;
struct SharedWindowMessage {
  uint16_t code;    // what happened to the window: ZKSW_*
  uint32_t window;  // its handle on the presenter: an opaque identifier for the host
  char title[kSharedWindowTitleSize];  // zero-terminated; empty when there is none
};
constexpr uint32_t kSharedWindowSize = ZKSW_PAYLOAD_SIZE;
inline uint32_t MessageSize(const SharedWindowMessage&) { return kSharedWindowSize; }
// The title goes out up to its terminator, at most kSharedWindowTitleSize - 1
// characters, padded with zeros: its last byte is always 0.
void WriteMessage(uint8_t* out, const SharedWindowMessage& message);
// The title comes back zero-terminated whatever the sender put in its last
// byte.
bool ParseMessage(const uint8_t* payload, uint32_t size, SharedWindowMessage* out);

// A window message of the session window as a record for the host. The host
// may rewrite `message` with an event code of its own before passing the
// record on.
struct WindowEventMessage {
  uint32_t message;
  uint32_t wParam;
  uint32_t lParam;
  int32_t x;  // position, for a move
  int32_t y;
};
constexpr uint32_t kWindowEventSize = 20;
inline uint32_t MessageSize(const WindowEventMessage&) { return kWindowEventSize; }
void WriteMessage(uint8_t* out, const WindowEventMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, WindowEventMessage* out);
