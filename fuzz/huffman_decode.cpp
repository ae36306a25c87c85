// Huffman streams with arbitrary tables and bits: the table-driven decoder
// stays inside its tables, the stream and the capacity, and yields exactly
// what a decoder reading one bit at a time yields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/HuffmanDecoder.h"
#include "compression/reference/LiteralHuffman.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t capacity = static_cast<uint32_t>(data[0]) | (data[1] & 0x0F) << 8;
  std::vector<uint8_t> stream(data + 2, data + size);
  const uint32_t n = static_cast<uint32_t>(stream.size());
  std::vector<uint8_t> fast(capacity), slow(capacity);
  HuffmanDecoder decoder;
  const uint32_t produced = decoder.Decode(stream.data(), n, fast.data(), capacity);
  if (produced > capacity) std::abort();
  if (produced != LiteralHuffmanDecode(stream.data(), n, slow.data(), capacity)) std::abort();
  if (produced > 0 && std::memcmp(fast.data(), slow.data(), produced) != 0) std::abort();
  return 0;
}
