#include "compression/LZ77Coder.h"

#include <algorithm>
#include <cstring>

#include "common/ByteOrder.h"
#include "compression/DecodeFailureReporter.h"
#include "compression/LZ77MatchFinder.h"

namespace {

constexpr uint32_t kMinInput = 512;
constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxMatch = 127;
constexpr uint32_t kMaxLiteralBlock = 127;


class TokenWriter {
 public:
  TokenWriter(uint8_t* dst, uint32_t capacity) : dst_(dst), capacity_(capacity) {}
  bool Literal(uint8_t byte, bool last) {
    if (block_ == 0) {
      if (out_ >= capacity_) return false;
      blockAt_ = out_++;
    }
    if (out_ >= capacity_) return false;
    dst_[out_++] = byte;
    if (++block_ == kMaxLiteralBlock || last) CloseBlock();
    return true;
  }
  bool Match(uint32_t length, uint32_t distance) {
    CloseBlock();
    if (capacity_ - out_ < 3 || out_ > capacity_) return false;
    dst_[out_] = static_cast<uint8_t>(0x80 | length);
    StoreU16LE(dst_ + out_ + 1, static_cast<uint16_t>(distance));
    out_ += 3;
    return true;
  }
  bool End() {
    if (out_ >= capacity_) return false;
    dst_[out_++] = 0;
    return true;
  }
  uint32_t Written() const { return out_; }

 private:
  void CloseBlock() {
    if (block_ == 0) return;
    dst_[blockAt_] = static_cast<uint8_t>(block_);
    block_ = 0;
  }
  uint8_t* dst_;
  uint32_t capacity_;
  uint32_t out_ = 0;
  uint32_t block_ = 0;
  uint32_t blockAt_ = 0;
};

}  // namespace

uint32_t LZ77Coder::Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity) {
  if (n < kMinInput) return 0;
  LZ77MatchFinder finder(src, n, searchLimit_);
  TokenWriter writer(dst, capacity);
  const uint32_t searchEnd = n - 4;
  uint32_t i = 0;
  while (i < n) {
    LZ77MatchFinder::Match m{0, 0};
    if (i < searchEnd) m = finder.Find(i);
    if (m.length >= kMinMatch) {
      const uint32_t length = std::min(m.length, kMaxMatch);
      if (!writer.Match(length, m.distance)) return 0;
      i += length;
    } else {
      if (!writer.Literal(src[i], i == n - 1)) return 0;
      ++i;
    }
  }
  if (!writer.End()) return 0;
  return writer.Written();
}

uint32_t LZ77Coder::Decode(const uint8_t* src, uint32_t length, uint8_t* dst, uint32_t capacity) {
  if (capacity == 0) return 0;
  uint32_t r = 0;
  uint32_t o = 0;
  for (;;) {
    if (r >= length) break;
    const uint32_t h = src[r++];
    if (h == 0) return o;
    if (h & 0x80) {
      const uint32_t len = h & 0x7F;
      if (len > capacity - o || length - r < 2) break;
      const uint32_t d = LoadU16LE(src + r);
      r += 2;
      if (d == 0 || d > o) break;
      uint8_t* to = dst + o;
      const uint8_t* from = to - d;
      if (d >= len) {
        std::memcpy(to, from, len);
      } else {
        for (uint32_t k = 0; k < len; ++k) to[k] = from[k];
      }
      o += len;
    } else {
      if (h > capacity - o || h > length - r) break;
      std::memcpy(dst + o, src + r, h);
      r += h;
      o += h;
    }
    if (o >= capacity) return o;
  }
  ReportDecodeFailure("C:\\LZDecode.bin", src, length);
  return 0;
}
