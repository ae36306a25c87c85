#include "compression/HuffmanEncoder.h"

#include <cassert>
#include <cstring>

#include "common/MemoryAccess.h"

namespace {

constexpr uint32_t kMinInput = 1024;
constexpr int kMaxCodeLength = 16;
constexpr int kReserved = 256;  // keeps the all-ones code unused, so padding never decodes
constexpr int kNodes = kReserved + 1;  // the byte values and the reserved symbol

// Symbols by frequency, least first, and among equal frequencies the larger
// symbol first: each node is one key, its frequency above the complement of
// its symbol, so that nodes compare as plain numbers.
class NodeHeap {
 public:
  int Size() const { return size_; }

  void Push(int symbol, uint32_t freq) {
    const uint64_t key = static_cast<uint64_t>(freq) << 16 | (0xFFFFu - symbol);
    int at = size_++;
    while (at > 0 && key < keys_[(at - 1) / 2]) {
      keys_[at] = keys_[(at - 1) / 2];
      at = (at - 1) / 2;
    }
    keys_[at] = key;
  }

  int Pop() {
    const uint64_t top = keys_[0];
    const uint64_t last = keys_[--size_];
    int at = 0;
    for (;;) {
      int child = 2 * at + 1;
      if (child >= size_) break;
      if (child + 1 < size_ && keys_[child + 1] < keys_[child]) ++child;
      if (last <= keys_[child]) break;
      keys_[at] = keys_[child];
      at = child;
    }
    keys_[at] = last;
    return static_cast<int>(0xFFFFu - (top & 0xFFFFu));
  }

 private:
  uint64_t keys_[kNodes];
  int size_ = 0;
};

}  // namespace

uint32_t HuffmanEncoder::Encode(const uint8_t* src, uint32_t n, uint8_t* dst,
                                uint32_t capacity) {
  if (n < kMinInput) return 0;
  CountFrequencies(src, n);
  BuildCodeSizes();
  CountAndLimitLengths();
  OrderValues();
  AssignCodes();
  // The size is known before writing, so a stream that would not fit is
  // declined without touching dst.
  const uint64_t size = 16 + valueCount_ + (PayloadBits() + 7) / 8;
  if (size > capacity) return 0;
  return WriteStream(src, n, dst, static_cast<uint32_t>(size));
}

void HuffmanEncoder::CountFrequencies(const uint8_t* src, uint32_t n) {
  // Four partial tables keep successive equal bytes from serialising on one counter.
  uint32_t partial[4][256] = {};
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++partial[0][src[i]];
    ++partial[1][src[i + 1]];
    ++partial[2][src[i + 2]];
    ++partial[3][src[i + 3]];
  }
  for (; i < n; ++i) ++partial[0][src[i]];
  for (int v = 0; v < 256; ++v) {
    count_[v] = partial[0][v] + partial[1][v] + partial[2][v] + partial[3][v];
    freq_[v] = count_[v];
  }
  freq_[kReserved] = 1;
}

// Code sizes from frequencies by repeatedly merging the two least frequent
// nodes, c1 and c2, into c1; ties go to the larger symbol number. The nodes
// wait in a heap, so that a merge costs a few heap steps rather than a scan
// of every symbol (which, on small inputs, cost more than the coding).
void HuffmanEncoder::BuildCodeSizes() {
  int16_t others[kSymbols];
  std::memset(codeSize_, 0, sizeof codeSize_);
  std::memset(others, -1, sizeof others);
  NodeHeap heap;
  for (int s = 0; s < kSymbols; ++s) {
    if (freq_[s] != 0) heap.Push(s, freq_[s]);
  }
  while (heap.Size() >= 2) {
    const int c1 = heap.Pop();
    const int c2 = heap.Pop();
    freq_[c1] += freq_[c2];
    freq_[c2] = 0;
    heap.Push(c1, freq_[c1]);
    int s = c1;
    for (++codeSize_[s]; others[s] >= 0; ++codeSize_[s]) s = others[s];
    others[s] = static_cast<int16_t>(c2);
    s = c2;
    for (++codeSize_[s]; others[s] >= 0; ++codeSize_[s]) s = others[s];
  }
}

void HuffmanEncoder::CountAndLimitLengths() {
  std::memset(bits_, 0, sizeof bits_);
  longest_ = 0;
  for (int s = 0; s < kSymbols; ++s) {
    if (codeSize_[s] == 0) continue;
    ++bits_[codeSize_[s]];
    if (codeSize_[s] > longest_) longest_ = codeSize_[s];
  }
  // Fold every length above 16 into shorter ones: two codes of length i
  // become one of i - 1, and a code of a shorter length j splits into two of
  // j + 1. The deepest level of a full tree always holds an even count.
  for (int i = longest_; i > kMaxCodeLength; --i) {
    while (bits_[i] > 0) {
      int j = i - 2;
      while (bits_[j] == 0) --j;
      bits_[i] -= 2;
      bits_[i - 1] += 1;
      bits_[j + 1] += 2;
      bits_[j] -= 1;
    }
  }
  int l = kMaxCodeLength;
  while (bits_[l] == 0) --l;
  bits_[l] -= 1;  // the reserved symbol's code
}

// Values by their length before limiting, then by value. The reserved symbol
// is never placed.
void HuffmanEncoder::OrderValues() {
  valueCount_ = 0;
  for (int length = 1; length <= longest_; ++length) {
    for (int v = 0; v < 256; ++v) {
      if (codeSize_[v] == length) huffval_[valueCount_++] = static_cast<uint8_t>(v);
    }
  }
}

// Canonical codes: consecutive within a length, a 0 bit appended when moving
// to the next length.
void HuffmanEncoder::AssignCodes() {
  std::memset(ehufsi_, 0, sizeof ehufsi_);
  uint32_t code = 0;
  uint32_t k = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    for (uint32_t c = 0; c < bits_[length]; ++c, ++k, ++code) {
      ehufco_[huffval_[k]] = static_cast<uint16_t>(code);
      ehufsi_[huffval_[k]] = static_cast<uint8_t>(length);
    }
    code <<= 1;
  }
}

uint64_t HuffmanEncoder::PayloadBits() const {
  uint64_t total = 0;
  for (int v = 0; v < 256; ++v) total += static_cast<uint64_t>(count_[v]) * ehufsi_[v];
  return total;
}

uint32_t HuffmanEncoder::WriteStream(const uint8_t* src, uint32_t n, uint8_t* dst,
                                     uint32_t size) const {
  uint8_t* out = dst;
  // No count exceeds 255 here: all 256 values sharing one length would need
  // the reserved code alone at length 1, which its frequency of 1 rules out.
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    assert(bits_[length] <= 255);
    *out++ = static_cast<uint8_t>(bits_[length]);
  }
  std::memcpy(out, huffval_, valueCount_);
  out += valueCount_;

  // The low `held` bits of acc are the codes not yet written. Three codes
  // of at most 16 bits join fewer than 8 held ones, and then every whole
  // byte goes out in one 8-byte store, without a branch on how many there
  // are; the bytes past them are written again by the next store. Those
  // stores stay inside the stream, whose size is known; its last bytes go
  // out one code at a time.
  uint64_t acc = 0;
  uint32_t held = 0;
  const uint8_t* const end = dst + size;
  uint32_t i = 0;
  auto append = [&](uint8_t v) {
    acc = (acc << ehufsi_[v]) | ehufco_[v];
    held += ehufsi_[v];
  };
  for (; i + 3 <= n && end - out >= 8; i += 3) {
    append(src[i]);
    append(src[i + 1]);
    append(src[i + 2]);
    StoreU64BE(out, acc << (64 - held));  // held >= 3: every code has a bit
    out += held >> 3;
    held &= 7;
  }
  for (; i < n; ++i) {
    append(src[i]);
    for (; held >= 8; held -= 8) *out++ = static_cast<uint8_t>(acc >> (held - 8));
  }
  if (held > 0) {
    // Pad with 1-bits: no code is all ones, so the padding completes none.
    *out++ = static_cast<uint8_t>((acc << (8 - held)) | (0xFFu >> held));
  }
  return static_cast<uint32_t>(out - dst);
}
