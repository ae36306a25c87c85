#include "EventFraming.h"

#include <algorithm>
#include <cstring>

#include "events/ControlTokenMessages.h"

WireFrame MakeWireFrame(uint32_t type, uint32_t size, const uint8_t* payload) {
  auto frame = std::make_shared<std::vector<uint8_t>>(kEventHeaderSize + size);
  WriteMessage(frame->data(), EventHeader{type, size});
  if (size) std::memcpy(frame->data() + kEventHeaderSize, payload, size);
  return frame;
}

bool FrameReader::Feed(const uint8_t* data, size_t length, std::vector<ReceivedEvent>* out) {
  while (!malformed_ && length > 0) {
    if (!inPayload_) {
      size_t take = std::min(length, kEventHeaderSize - filled_);
      std::memcpy(header_ + filled_, data, take);
      filled_ += take, data += take, length -= take;
      if (filled_ < kEventHeaderSize || !TakeHeader()) continue;
    } else {
      size_t take = TakePayload(data, length);
      data += take, length -= take;
    }
    if (inPayload_ && current_.payload.size() == announced_) {
      out->push_back(std::move(current_));
      current_ = ReceivedEvent();
      inPayload_ = false;
      filled_ = 0;
    }
  }
  return !malformed_;
}

bool FrameReader::TakeHeader() {
  EventHeader header;
  ParseMessage(header_, kEventHeaderSize, &header);  // all eight bytes are here
  if (header.type > kHighestProtocolType &&
      (header.type < kFirstHostType || header.type > kLastHostType)) {
    malformed_ = true;
    error_ = "malformed frame: unknown event type " + std::to_string(header.type);
    return false;
  }
  if (header.size > maxPayload_) {
    malformed_ = true;
    error_ = "malformed frame: payload of " + std::to_string(header.size) + " bytes";
    return false;
  }
  current_.type = header.type;
  announced_ = header.size;
  inPayload_ = true;
  filled_ = 0;
  return true;
}

size_t FrameReader::TakePayload(const uint8_t* data, size_t length) {
  std::vector<uint8_t>& payload = current_.payload;
  size_t take = std::min(length, size_t{announced_} - payload.size());
  size_t needed = payload.size() + take;
  if (needed > payload.capacity())
    payload.reserve(std::min<size_t>(announced_, std::max(needed, 2 * payload.capacity())));
  payload.insert(payload.end(), data, data + take);
  return take;
}
