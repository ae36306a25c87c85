#pragma once

#include <cstdint>
#include <vector>

#include "MessageBytes.h"
#include "events/ProtocolMessages.h"

// Builds received full-update containers, well-formed or not, for tests.
class ContainerBuilder {
 public:
  explicit ContainerBuilder(uint32_t tag = 0) : tag_(tag) {}

  ContainerBuilder& Record(uint32_t type, const std::vector<uint8_t>& payload) {
    return RecordClaiming(type, static_cast<uint32_t>(payload.size()), payload);
  }
  template <typename Message>
  ContainerBuilder& Record(uint32_t type, const Message& message) {
    return Record(type, BytesOf(message));
  }
  // A record whose size field may disagree with the bytes that follow.
  ContainerBuilder& RecordClaiming(uint32_t type, uint32_t claimedSize,
                                   const std::vector<uint8_t>& payload) {
    const std::vector<uint8_t> header = BytesOf(EventHeader{type, claimedSize});
    records_.insert(records_.end(), header.begin(), header.end());
    records_.insert(records_.end(), payload.begin(), payload.end());
    return *this;
  }
  ContainerBuilder& Raw(const std::vector<uint8_t>& bytes) {
    records_.insert(records_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  // The payload with L counting every byte after the header.
  std::vector<uint8_t> Build() const { return BuildClaiming(RecordBytes()); }
  // The payload with L set to any value.
  std::vector<uint8_t> BuildClaiming(uint32_t recordBytes) const {
    std::vector<uint8_t> out = BytesOf(FullUpdateHeader{tag_, recordBytes});
    out.insert(out.end(), records_.begin(), records_.end());
    return out;
  }
  uint32_t RecordBytes() const { return static_cast<uint32_t>(records_.size()); }

 private:
  uint32_t tag_;
  std::vector<uint8_t> records_;
};
