#pragma once

#include <cstdint>

// Shared-window (type 5) and window-event (type 9) payloads, in the shape the
// protocol code of src/events gives them.

constexpr uint32_t kSharedWindowTitleSize = 256;
struct SharedWindowMessage {
  uint16_t code;
  uint32_t window;
  char title[kSharedWindowTitleSize];
};
constexpr uint32_t kSharedWindowSize = 262;
inline uint32_t MessageSize(const SharedWindowMessage&) { return kSharedWindowSize; }
void WriteMessage(uint8_t* out, const SharedWindowMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, SharedWindowMessage* out);

struct WindowEventMessage {
  uint32_t message;
  uint32_t wParam;
  uint32_t lParam;
  int32_t x;
  int32_t y;
};
constexpr uint32_t kWindowEventSize = 20;
inline uint32_t MessageSize(const WindowEventMessage&) { return kWindowEventSize; }
void WriteMessage(uint8_t* out, const WindowEventMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, WindowEventMessage* out);
