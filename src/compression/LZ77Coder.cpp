#include "compression/LZ77Coder.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/ByteOrder.h"
#include "compression/DecodeFailureReporter.h"
#include "compression/LZ77MatchFinder.h"

namespace {

constexpr uint32_t kMinInput = 512;
constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxMatch = 127;
constexpr uint32_t kMaxLiteralBlock = 127;
constexpr uint32_t kWindow = 32768;
constexpr char kDumpFile[] = "C:\\LZDecode.bin";

// Writes tokens at dst and refuses every byte past capacity, so that a
// stream that would not fit is noticed at once and the stage declines.
class LZ77TokenWriter {
 public:
  LZ77TokenWriter(uint8_t* dst, uint32_t capacity) : dst_(dst), capacity_(capacity) {}
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
  // A match never reaches into the bytes it produces.
  bool Match(uint32_t length, uint32_t distance) {
    assert(length >= kMinMatch && length <= kMaxMatch && length < distance && distance <= kWindow);
    CloseBlock();
    if (capacity_ - out_ < 3) return false;
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
  LZ77MatchFinder finder(LZ77MatchFinder::ProcessTables(), src, n, searchLimit_);
  LZ77TokenWriter writer(dst, capacity);
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
  uint32_t read = 0;
  uint32_t made = 0;
  // Every token is checked against the input left, the room left and the
  // bytes already made before anything is copied.
  while (read < length) {
    const uint32_t head = src[read++];
    if (head == 0) return made;
    if (head & 0x80) {
      const uint32_t count = head & 0x7F;
      if (count > capacity - made || length - read < 2) break;
      const uint32_t distance = LoadU16LE(src + read);
      read += 2;
      if (distance == 0 || distance > made) break;
      uint8_t* to = dst + made;
      const uint8_t* from = to - distance;
      if (distance >= count) {
        std::memcpy(to, from, count);
      } else {
        for (uint32_t k = 0; k < count; ++k) to[k] = from[k];  // repeats what it has just copied
      }
      made += count;
    } else {
      if (head > capacity - made || head > length - read) break;
      std::memcpy(dst + made, src + read, head);
      read += head;
      made += head;
    }
    if (made >= capacity) return made;
  }
  ReportDecodeFailure(kDumpFile, src, length);
  return 0;
}
