#pragma once

#include <cstdint>
#include <vector>

#include "common/ByteOrder.h"
#include "events/ProtocolMessages.h"

// Builds received full-update containers, well-formed or not, for tests.
class ContainerBuilder {
 public:
  explicit ContainerBuilder(uint32_t tag = 0) : bytes_(kFullUpdateHeaderSize) {
    WriteFullUpdateHeader(bytes_.data(), tag, 0);
  }

  ContainerBuilder& Record(uint32_t type, const std::vector<uint8_t>& payload) {
    return RecordClaiming(type, static_cast<uint32_t>(payload.size()), payload);
  }
  // A record whose size field may disagree with the bytes that follow.
  ContainerBuilder& RecordClaiming(uint32_t type, uint32_t claimedSize,
                                   const std::vector<uint8_t>& payload) {
    const size_t at = bytes_.size();
    bytes_.resize(at + kRecordHeaderSize);
    WriteRecordHeader(bytes_.data() + at, type, claimedSize);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
  }
  ContainerBuilder& Raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  // The payload with L counting every byte after the header.
  std::vector<uint8_t> Build() const { return BuildClaiming(RecordBytes()); }
  // The payload with L set to any value.
  std::vector<uint8_t> BuildClaiming(uint32_t recordBytes) const {
    std::vector<uint8_t> out = bytes_;
    StoreU32LE(out.data() + 4, recordBytes);
    return out;
  }
  uint32_t RecordBytes() const {
    return static_cast<uint32_t>(bytes_.size() - kFullUpdateHeaderSize);
  }

 private:
  std::vector<uint8_t> bytes_;
};

// A payload of n bytes whose first four carry `token`, the rest a pattern.
inline std::vector<uint8_t> TokenPayload(uint32_t token, uint32_t n) {
  std::vector<uint8_t> p(n);
  for (uint32_t i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(i < 4 ? token >> (8 * i) : i * 7 + token);
  return p;
}
