#include "EventFraming.h"

#include <algorithm>
#include <cstring>

namespace {
void PutU32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}
}  // namespace

WireFrame MakeWireFrame(uint32_t type, uint32_t size, const uint8_t* payload) {
  auto frame = std::make_shared<std::vector<uint8_t>>(kFrameHeaderSize + size);
  PutU32(frame->data(), type);
  PutU32(frame->data() + 4, size);
  if (size) std::memcpy(frame->data() + kFrameHeaderSize, payload, size);
  return frame;
}

bool FrameReader::Feed(const uint8_t* data, size_t length, std::vector<ReceivedEvent>* out) {
  while (!malformed_ && length > 0) {
    if (!inPayload_) {
      size_t take = std::min(length, kFrameHeaderSize - filled_);
      std::memcpy(header_ + filled_, data, take);
      filled_ += take, data += take, length -= take;
      if (filled_ < kFrameHeaderSize || !TakeHeader()) continue;
    } else {
      std::vector<uint8_t>& payload = current_.payload;
      size_t take = std::min(length, payload.size() - filled_);
      std::memcpy(payload.data() + filled_, data, take);
      filled_ += take, data += take, length -= take;
    }
    if (inPayload_ && filled_ == current_.payload.size()) {
      out->push_back(std::move(current_));
      current_ = ReceivedEvent();
      inPayload_ = false;
      filled_ = 0;
    }
  }
  return !malformed_;
}

bool FrameReader::TakeHeader() {
  uint32_t type = GetU32(header_), size = GetU32(header_ + 4);
  if (type > kHighestEventType) {
    malformed_ = true;
    error_ = "malformed frame: unknown event type " + std::to_string(type);
    return false;
  }
  if (size > kMaxFramePayload) {
    malformed_ = true;
    error_ = "malformed frame: payload of " + std::to_string(size) + " bytes";
    return false;
  }
  current_.type = type;
  current_.payload.assign(size, 0);
  inPayload_ = true;
  filled_ = 0;
  return true;
}
