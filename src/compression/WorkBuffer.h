#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// A heap buffer kept from one use to the next so that its pages stay mapped:
// for large regions, faulting in fresh pages on every update costs about as
// much as a decoding stage. Owned by a CompressionMgr, used on its thread. A
// copy starts empty.
class WorkBuffer {
 public:
  WorkBuffer() = default;
  WorkBuffer(const WorkBuffer&) {}
  WorkBuffer& operator=(const WorkBuffer&) { return *this; }
  ~WorkBuffer() { std::free(data_); }

  // At least `size` bytes of unspecified content, or null when they cannot
  // be had.
  uint8_t* Get(uint64_t size) {
    if (size <= size_) return data_;
    std::free(data_);
    data_ = size > SIZE_MAX ? nullptr : static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    size_ = data_ ? size : 0;
    return data_;
  }

  void Release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
  }

 private:
  uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};
