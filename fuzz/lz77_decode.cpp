// LZ77 streams of any shape against outputs of any size: decoding stays
// inside the stream and the output and never claims more than the output.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compression/LZ77Coder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The output's capacity, then the stream, each in a buffer of its own size
  // so that any stray access is caught.
  const uint32_t capacity = static_cast<uint32_t>(data[0]) | (data[1] & 0x3F) << 8;
  const std::vector<uint8_t> stream(data + 2, data + size);
  std::vector<uint8_t> out(capacity);
  const uint32_t produced = LZ77Coder::Decode(stream.data(), static_cast<uint32_t>(stream.size()),
                                              out.data(), capacity);
  if (produced > capacity) std::abort();
  return 0;
}
