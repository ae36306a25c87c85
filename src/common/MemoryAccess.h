#pragma once

#include <cstdint>
#include <cstring>

// Word loads and stores at any alignment, for the codecs' wide comparisons
// and bit packing. Loads in host order go through memcpy, which compilers
// turn into one unaligned load; the big-endian forms serve the Huffman
// stream, whose bits run most significant first. The wire formats
// themselves are read a field at a time (ByteOrder.h).

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the first byte in memory must be the low byte of a loaded word");

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The first byte in memory at which two loaded words differ; x is their
// exclusive or and not 0.
inline uint32_t FirstDifferingByte(uint64_t x) { return static_cast<uint32_t>(__builtin_ctzll(x) >> 3); }

inline uint64_t LoadU64BE(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

inline void StoreU64BE(uint8_t* p, uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<uint8_t>(v >> (56 - 8 * k));
}
