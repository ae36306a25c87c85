// Run-length token streams against regions of any size: decoding stays inside
// the region and the tokens, and reports only whole pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compression/RunLengthCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // Depth, then the region's capacity in bytes (any value, not just pixels).
  const bool deep = (data[0] & 1) == 0;
  const uint32_t capacity = static_cast<uint32_t>(data[1]) | (data[2] & 0x7F) << 8;
  std::vector<uint8_t> tokens(data + 3, data + size);
  std::vector<uint8_t> region(capacity, 0x5A);
  const uint32_t length = static_cast<uint32_t>(tokens.size());
  const uint32_t reached = deep ? RLE565Decode(tokens.data(), length, region.data(), capacity)
                                : RLE332Decode(tokens.data(), length, region.data(), capacity);
  if (reached > capacity || reached % 3 != 0) std::abort();
  return 0;
}
