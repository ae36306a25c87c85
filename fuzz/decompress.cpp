// Decompresses one received stream, any stage byte, over a region of a size
// chosen by the input: the result never exceeds the region, the region is
// untouched on failure, and no stage reads or writes outside its buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/CompressionMgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Two bytes of region size in pixels, then the stream as received.
  const uint32_t outLength = 3 * (static_cast<uint32_t>(data[0]) | (data[1] & 0x0F) << 8);
  const uint8_t* stream = data + 2;
  const uint32_t length = static_cast<uint32_t>(size - 2);
  // One spare byte keeps the region non-null when it is empty.
  const std::vector<uint8_t> before(outLength + 1, 0xA5);
  // An exact-size copy so that the sanitizer sees reads past the stream.
  std::vector<uint8_t> exact(stream, stream + length);
  std::vector<uint8_t> region = before;
  CompressionMgr mgr;
  const uint32_t covered = mgr.Decompress(length, exact.empty() ? data : exact.data(), outLength,
                                          region.data());
  if (covered > outLength) std::abort();
  if (covered == 0 && region != before) std::abort();
  return 0;
}
