#pragma once

#include <cstdint>

// Huffman stage decoder: reads the code table at the front of a stream and
// decodes the bytes that follow. Streams are untrusted: tables whose counts
// sum above 256 or that assign more codes than the code space holds are
// rejected, and a bit pattern that matches no code within 16 bits fails the
// stream. Lives on the stack of one CompressionMgr::Decompress call on the
// worker thread; allocates nothing.
class HuffmanDecoder {
 public:
  virtual ~HuffmanDecoder() = default;

  // Returns the bytes produced at dst, or 0 on a rejected stream. Decoding
  // ends when the bits run out (a partial code at the end is dropped) or when
  // capacity bytes have been produced, whatever bits are left then.
  uint32_t Decode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity);

 private:
  bool ReadTable(const uint8_t* src, uint32_t n);
  void BuildLookup(const uint8_t* bits);

  static constexpr int kMaxCodeLength = 16;
  // Codes up to this length decode with one table lookup; longer ones walk
  // the lengths above it.
  static constexpr int kLookupBits = 11;

  uint32_t tableBytes_ = 0;       // BITS and HUFFVAL at the front of the stream
  int32_t maxCode_[kMaxCodeLength + 1];   // -1: no code of this length
  uint32_t minCode_[kMaxCodeLength + 1];  // 257: no code of this length
  uint8_t valPtr_[kMaxCodeLength + 1];    // index in huffval_ of the first code
  uint8_t huffval_[256];
  uint16_t lookup_[1 << kLookupBits];  // length << 8 | value; 0: longer code or none
};
