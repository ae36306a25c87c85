#pragma once

#include <cstdint>
#include <vector>

#include "common/ByteOrder.h"
#include "events/ProtocolMessages.h"

// Payload bytes for tests: what the library's builders write for a record,
// the record its parser reads from bytes held in a vector, and bytes that no
// builder would write, as a hostile or broken peer sends them.

template <typename Message>
std::vector<uint8_t> BytesOf(const Message& message) {
  std::vector<uint8_t> bytes(MessageSize(message));
  WriteMessage(bytes.data(), message);
  return bytes;
}

// Parses a payload held in a vector; false when the parser refuses it.
template <typename Message>
bool ParseBytes(const std::vector<uint8_t>& payload, Message* out) {
  return ParseMessage(payload.data(), static_cast<uint32_t>(payload.size()), out);
}

// Composes bytes field by field, little-endian, in the order a payload's
// table lists them.
class WireFields {
 public:
  WireFields& U8(uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  WireFields& U16(uint16_t value) { return Store(&StoreU16LE, value, 2); }
  WireFields& U32(uint32_t value) { return Store(&StoreU32LE, value, 4); }
  WireFields& Bytes(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  const std::vector<uint8_t>& Get() const { return bytes_; }

 private:
  template <typename Value>
  WireFields& Store(void (*store)(uint8_t*, Value), Value value, size_t width) {
    bytes_.resize(bytes_.size() + width);
    store(bytes_.data() + bytes_.size() - width, value);
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

// A payload of n bytes whose first four carry `token`, the rest a pattern.
inline std::vector<uint8_t> TokenPayload(uint32_t token, uint32_t n) {
  std::vector<uint8_t> p(n);
  for (uint32_t i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(i < 4 ? token >> (8 * i) : i * 7 + token);
  return p;
}
