#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// General-purpose compressors that the pipeline is measured against, in the
// same run on the same bytes. Each keeps its library context between calls,
// as a program compressing frame after frame would. Not thread-safe.
class BaselineCodec {
 public:
  virtual ~BaselineCodec() = default;
  virtual const char* Name() const = 0;
  // Output size that Encode never exceeds for n input bytes.
  virtual size_t Bound(size_t n) const = 0;
  // Both return the bytes written, 0 on failure.
  virtual size_t Encode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) = 0;
  virtual size_t Decode(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) = 0;
};

// zlib -1 and -6, zstd -1 and -3, lz4, in that order.
std::vector<std::unique_ptr<BaselineCodec>> MakeBaselineCodecs();

// Names of the two baselines the targets are set against.
constexpr const char* kFastDeflateName = "zlib-1";
constexpr const char* kDefaultDeflateName = "zlib-6";
constexpr const char* kDefaultZstdName = "zstd-3";
