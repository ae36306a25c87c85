#include "compression/HuffmanDecoder.h"

#include <cstring>

#include "common/MemoryAccess.h"

namespace {

// Bits of the stream, most significant first, in a 64-bit window whose
// unfilled low end reads as zeros.
class BitReader {
 public:
  BitReader(const uint8_t* src, uint32_t n, uint32_t pos) : src_(src), n_(n), pos_(pos) {}

  void Refill() {
    if (n_ - pos_ >= 8) {
      // As many whole bytes as fit. The bits of the next, partial byte land
      // below them; they are the stream's own and the next refill ORs the
      // same bits in again.
      window_ |= LoadU64BE(src_ + pos_) >> held_;
      const uint32_t bytes = (63 - held_) >> 3;
      pos_ += bytes;
      held_ += 8 * bytes;
      return;
    }
    while (held_ <= 56 && pos_ < n_) {
      window_ |= static_cast<uint64_t>(src_[pos_++]) << (56 - held_);
      held_ += 8;
    }
  }
  uint32_t Held() const { return held_; }
  uint32_t Peek(uint32_t count) const { return static_cast<uint32_t>(window_ >> (64 - count)); }
  void Consume(uint32_t count) {
    window_ <<= count;
    held_ -= count;
  }

 private:
  const uint8_t* src_;
  uint32_t n_;
  uint32_t pos_;
  uint64_t window_ = 0;
  uint32_t held_ = 0;
};

}  // namespace

bool HuffmanDecoder::ReadTable(const uint8_t* src, uint32_t n) {
  if (n < kMaxCodeLength) return false;
  const uint8_t* bits = src;  // bits[l - 1]: codes of length l
  uint32_t total = 0;
  uint32_t space = 0;  // code space used, in units of 2^-16
  for (int l = 1; l <= kMaxCodeLength; ++l) {
    total += bits[l - 1];
    space += static_cast<uint32_t>(bits[l - 1]) << (kMaxCodeLength - l);
  }
  // Over-subscribed tables would give codes longer than their length.
  if (total > 256 || space > (1u << kMaxCodeLength)) return false;
  if (n - kMaxCodeLength < total) return false;
  tableBytes_ = kMaxCodeLength + total;
  std::memcpy(huffval_, src + kMaxCodeLength, total);

  uint32_t code = 0;
  uint32_t k = 0;
  for (int l = 1; l <= kMaxCodeLength; ++l) {
    const uint32_t count = bits[l - 1];
    if (count == 0) {
      maxCode_[l] = -1;
      minCode_[l] = 257;
      valPtr_[l] = 0;
    } else {
      valPtr_[l] = static_cast<uint8_t>(k);
      minCode_[l] = code;
      maxCode_[l] = static_cast<int32_t>(code + count - 1);
      code += count;
      k += count;
    }
    code <<= 1;
  }
  BuildLookup(bits);
  return true;
}

void HuffmanDecoder::BuildLookup(const uint8_t* bits) {
  std::memset(lookup_, 0, sizeof lookup_);
  for (int l = 1; l <= kLookupBits; ++l) {
    for (uint32_t c = 0; c < bits[l - 1]; ++c) {
      const uint32_t code = minCode_[l] + c;
      const uint16_t entry = static_cast<uint16_t>(l << 8 | huffval_[valPtr_[l] + c]);
      const uint32_t first = code << (kLookupBits - l);
      const uint32_t last = (code + 1) << (kLookupBits - l);
      for (uint32_t i = first; i < last; ++i) lookup_[i] = entry;
    }
  }
}

uint32_t HuffmanDecoder::Decode(const uint8_t* src, uint32_t n, uint8_t* dst,
                                uint32_t capacity) {
  if (!ReadTable(src, n)) return 0;
  BitReader reader(src, n, tableBytes_);
  uint32_t produced = 0;
  while (produced < capacity) {
    if (reader.Held() < 32) reader.Refill();
    if (reader.Held() == 0) break;
    uint32_t length;
    uint8_t value;
    const uint16_t entry = lookup_[reader.Peek(kLookupBits)];
    if (entry != 0) {
      length = entry >> 8;
      value = static_cast<uint8_t>(entry);
    } else {
      // Codes longer than the lookup: the same walk over lengths as one
      // reading a bit at a time, starting past the lengths the table covers.
      length = kLookupBits + 1;
      while (length <= kMaxCodeLength &&
             static_cast<int32_t>(reader.Peek(length)) > maxCode_[length]) {
        ++length;
      }
      if (length > kMaxCodeLength) {
        if (reader.Held() >= kMaxCodeLength) return 0;  // matches no code
        break;  // the bits ran out inside a code
      }
      // The table is not over-subscribed, so the code lies in its length's range.
      value = huffval_[valPtr_[length] + reader.Peek(length) - minCode_[length]];
    }
    if (length > reader.Held()) break;  // partial code at the end: dropped
    reader.Consume(length);
    dst[produced++] = value;
  }
  return produced;
}
