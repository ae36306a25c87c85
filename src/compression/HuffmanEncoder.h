#pragma once

#include <cstdint>

// Huffman stage encoder: the outermost layer of a display-update stream. It
// builds a canonical code of at most 16 bits per byte value for one input and
// writes the 16 per-length counts and the values in code order in front of
// the codes. Lives on the stack of one CompressionMgr::Compress call on the
// worker thread; allocates nothing.
class HuffmanEncoder {
 public:
  virtual ~HuffmanEncoder() = default;

  // Returns the bytes written at dst, or 0 when the stage declines: input
  // shorter than 1024 bytes, or output longer than capacity.
  uint32_t Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity);

  // Every code length a tree of 257 symbols can produce before limiting.
  static constexpr int kMaxTreeDepth = 256;

 private:
  void CountFrequencies(const uint8_t* src, uint32_t n);
  void BuildCodeSizes();
  void CountAndLimitLengths();
  void OrderValues();
  void AssignCodes();
  uint64_t PayloadBits() const;
  // size: the stream's length in bytes, header included.
  uint32_t WriteStream(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t size) const;

  static constexpr int kSymbols = 257;  // 256 byte values and the reserved one

  uint32_t count_[256];        // occurrences of each byte value
  uint32_t freq_[kSymbols];    // merged while the tree is built
  uint16_t codeSize_[kSymbols];
  uint8_t ehufsi_[256];  // code length per byte value (0: absent)
  uint16_t ehufco_[256];
  uint8_t huffval_[256];  // values in code order
  uint32_t valueCount_ = 0;
  // Codes per length. Counted wider than a byte: 256 codes may share a length
  // before the reserved one is removed, and lengths may exceed 32 before
  // limiting on inputs of several million bytes.
  uint32_t bits_[kMaxTreeDepth + 1];
  int longest_ = 0;  // longest code before limiting
};
