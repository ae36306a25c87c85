#include "api/SharingMessagesLocal.h"

#include <cstring>

#include "common/ByteOrder.h"

void WriteMessage(uint8_t* out, const SharedWindowMessage& message) {
  StoreU16LE(out, message.code);
  StoreU32LE(out + 2, message.window);
  const size_t length = strnlen(message.title, kSharedWindowTitleSize - 1);
  std::memset(out + 6, 0, kSharedWindowTitleSize);
  std::memcpy(out + 6, message.title, length);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, SharedWindowMessage* out) {
  if (!payload || size < kSharedWindowSize) return false;
  SharedWindowMessage report{};
  report.code = LoadU16LE(payload);
  report.window = LoadU32LE(payload + 2);
  std::memcpy(report.title, payload + 6, kSharedWindowTitleSize - 1);
  *out = report;
  return true;
}

void WriteMessage(uint8_t* out, const WindowEventMessage& message) {
  StoreU32LE(out, message.message);
  StoreU32LE(out + 4, message.wParam);
  StoreU32LE(out + 8, message.lParam);
  StoreU32LE(out + 12, static_cast<uint32_t>(message.x));
  StoreU32LE(out + 16, static_cast<uint32_t>(message.y));
}

bool ParseMessage(const uint8_t* payload, uint32_t size, WindowEventMessage* out) {
  if (!payload || size < kWindowEventSize) return false;
  out->message = LoadU32LE(payload);
  out->wParam = LoadU32LE(payload + 4);
  out->lParam = LoadU32LE(payload + 8);
  out->x = static_cast<int32_t>(LoadU32LE(payload + 12));
  out->y = static_cast<int32_t>(LoadU32LE(payload + 16));
  return true;
}
