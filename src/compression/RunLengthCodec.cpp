#include "compression/RunLengthCodec.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>

#include "common/ByteOrder.h"
#include "common/MemoryAccess.h"
#include "compression/DecodeFailureReporter.h"
#include "frames/PixelRoutines.h"

namespace {

// The encoders read 3-byte pixels, the only size the format carries.
constexpr uint32_t kPixelBytes = 3;

uint32_t LoadPixel(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16; }

// The three 8-byte words that a stretch of one pixel value (bgr, in the low
// bytes) repeats from a pixel boundary on: 24 bytes, eight pixels.
struct RepeatedPixel {
  explicit RepeatedPixel(uint32_t bgr) {
    const uint64_t v = bgr;
    words[0] = v | v << 24 | v << 48;
    words[1] = v >> 16 | v << 8 | v << 32 | v << 56;
    words[2] = v >> 8 | v << 16 | v << 40;
  }
  uint64_t words[3];
};

// The two pixel depths share everything but the size and conversion of a value.
struct Depth565 {
  static constexpr uint32_t kValueBytes = 2;
  static void Put(uint8_t* out, const uint8_t* bgr) {
    StoreU16LE(out, static_cast<uint16_t>(((bgr[2] >> 3) << 11) | ((bgr[1] >> 2) << 5) |
                                          (bgr[0] >> 3)));
  }
  // Blue, green and red in bytes 0 to 2. Shifts only: the low bits stay 0,
  // so white comes back as F8 FC F8.
  static uint32_t Expand(const uint8_t* value) {
    const uint32_t v = LoadU16LE(value);
    return (v & 0x1F) << 3 | ((v >> 5) & 0x3F) << 10 | (v >> 11) << 19;
  }
  static constexpr const char* kDumpFile = "C:\\RLDecode565.bin";
};

struct Depth332 {
  static constexpr uint32_t kValueBytes = 1;
  static void Put(uint8_t* out, const uint8_t* bgr) { *out = Quantize332(bgr[0], bgr[1], bgr[2]); }
  static uint32_t Expand(const uint8_t* value) { return PaletteTable()[*value] & 0xFFFFFF; }
  static constexpr const char* kDumpFile = "C:\\RLDecode332.bin";
};

// Writes tokens at out without a capacity: the encoders' output is bounded
// by construction (see RunLengthCodec.h).
class RunLengthTokenWriter {
 public:
  explicit RunLengthTokenWriter(uint8_t* out) : start_(out), pos_(out) {}

  template <class Depth>
  void AppendLiteral(const uint8_t* bgr) {
    if (pending_ == 0) {
      blockHeader_ = pos_;
      pos_ += 2;
    }
    Depth::Put(pos_, bgr);
    pos_ += Depth::kValueBytes;
    ++pending_;
  }
  uint32_t Pending() const { return pending_; }
  void CloseLiteral() {
    if (pending_ == 0) return;
    StoreU16LE(blockHeader_, static_cast<uint16_t>(pending_));
    pending_ = 0;
  }
  void Skips(uint32_t count) {
    for (; count > 0; count -= std::min<uint32_t>(count, kRleMaxCount)) {
      Control(kRleSkip | std::min<uint32_t>(count, kRleMaxCount));
    }
  }
  template <class Depth>
  void Runs(uint32_t count, const uint8_t* bgr) {
    for (; count > 0; count -= std::min<uint32_t>(count, kRleMaxCount)) {
      Control(kRleRun | std::min<uint32_t>(count, kRleMaxCount));
      Depth::Put(pos_, bgr);
      pos_ += Depth::kValueBytes;
    }
  }
  uint32_t Finish() {
    Control(kRleEnd);
    return static_cast<uint32_t>(pos_ - start_);
  }

 private:
  void Control(uint32_t word) {
    StoreU16LE(pos_, static_cast<uint16_t>(word));
    pos_ += 2;
  }

  uint8_t* start_;
  uint8_t* pos_;
  uint8_t* blockHeader_ = nullptr;
  uint32_t pending_ = 0;  // pixels in the open literal block
};

bool SamePixel(const uint8_t* a, const uint8_t* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// The leading pixels, at most count, equal to the first: one pass of 8-byte
// comparisons against the pattern that the first pixel repeats.
uint32_t CountRepeatsOfFirst(const uint8_t* pixels, uint32_t count) {
  const RepeatedPixel pattern(LoadPixel(pixels));
  const size_t n = static_cast<size_t>(count) * kPixelBytes;
  size_t x = 0;
  for (; x + 24 <= n; x += 24) {
    const uint64_t d0 = Load64(pixels + x) ^ pattern.words[0];
    const uint64_t d1 = Load64(pixels + x + 8) ^ pattern.words[1];
    const uint64_t d2 = Load64(pixels + x + 16) ^ pattern.words[2];
    if (d0 | d1 | d2) {
      const size_t at = d0   ? x + FirstDifferingByte(d0)
                        : d1 ? x + 8 + FirstDifferingByte(d1)
                             : x + 16 + FirstDifferingByte(d2);
      return static_cast<uint32_t>(at / kPixelBytes);
    }
  }
  for (; x < n; ++x) {
    if (pixels[x] != pixels[x % kPixelBytes]) return static_cast<uint32_t>(x / kPixelBytes);
  }
  return count;
}

// Whether the pixel starts a run: it and the next three are equal. left:
// the pixels from it to the end of the region.
bool StartsRun(const uint8_t* pixel, uint32_t left) {
  return left >= 4 && Load64(pixel) == Load64(pixel + kPixelBytes) && pixel[8] == pixel[11];
}

// Whether the pixel starts a skip: it and the next two equal the reference.
bool StartsSkip(const uint8_t* pixel, const uint8_t* ref, uint32_t left) {
  return left >= 3 && Load64(pixel) == Load64(ref) && pixel[8] == ref[8];
}

// Whether the pixel goes out in a skip or a run rather than as a literal,
// against a reference. A pixel equal to its reference is never checked for
// a run.
bool StartsSkipOrRun(const uint8_t* pixel, const uint8_t* ref, uint32_t left) {
  return SamePixel(pixel, ref) ? StartsSkip(pixel, ref, left) : StartsRun(pixel, left);
}

template <class Depth>
uint32_t Encode(uint32_t n, const uint8_t* reference, const uint8_t* pixels, uint8_t* out) {
  RunLengthTokenWriter writer(out);
  uint32_t i = 0;
  while (i < n) {
    const uint8_t* pixel = pixels + static_cast<size_t>(i) * kPixelBytes;
    const uint8_t* ref = reference ? reference + static_cast<size_t>(i) * kPixelBytes : nullptr;
    if (ref && SamePixel(pixel, ref)) {
      // Most changed pixels differ at once: only the others are counted.
      const uint32_t same = CountEqualPixels(kPixelBytes, n - i, pixel, ref);
      if (same == n) return 0;  // nothing changed in the whole region
      if (same >= 3) {
        writer.CloseLiteral();
        writer.Skips(same);
        i += same;
        continue;
      }
    } else if (StartsRun(pixel, n - i)) {
      // The pixels after the first that repeat it; the last of them starts
      // afresh after the run.
      const uint32_t rep = CountRepeatsOfFirst(pixel, n - i) - 1;
      writer.CloseLiteral();
      writer.Runs<Depth>(rep, pixel);
      i += rep;
      continue;
    }
    // A literal, and so is every following pixel up to the next skip or run.
    do {
      writer.AppendLiteral<Depth>(pixel);
      if (writer.Pending() == kRleMaxCount) writer.CloseLiteral();
      pixel += kPixelBytes;
      if (ref) ref += kPixelBytes;
      ++i;
    } while (i < n && !(ref ? StartsSkipOrRun(pixel, ref, n - i) : StartsRun(pixel, n - i)));
    if (i == n) writer.CloseLiteral();
  }
  return writer.Finish();
}

// Writes `count` copies of the 3-byte pixel `bgr` (in the low bytes of a
// word) from dst: eight pixels at a time as three 8-byte words.
void FillPixelRun(uint8_t* dst, uint32_t bgr, uint32_t count) {
  const RepeatedPixel pattern(bgr);
  for (; count >= 8; count -= 8, dst += 24) std::memcpy(dst, pattern.words, 24);
  for (; count > 0; --count, dst += 3) std::memcpy(dst, &bgr, 3);
}

// One pass over the tokens: false when a token runs past capacity or past the
// tokens themselves, else true with the bytes of out they reach in `reached`.
// Writes only when kWrite, so a first pass can prove the stream sound before
// the region is touched.
template <class Depth, bool kWrite>
bool DecodePass(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity,
                uint32_t& reached) {
  size_t read = 0;
  uint32_t& p = reached;
  p = 0;
  for (;;) {
    if (length - read < 2) return false;  // the tokens ended early
    const uint16_t word = LoadU16LE(tokens + read);
    read += 2;
    if (word == kRleEnd) return true;
    const uint32_t count = word & kRleMaxCount;
    const uint32_t bytes = 3 * count;
    if (bytes > capacity - p) return false;
    if (word & kRleSkip) {
      // Skipped pixels keep what the region holds.
    } else if (word & kRleRun) {
      if (length - read < Depth::kValueBytes) return false;
      if (kWrite) FillPixelRun(out + p, Depth::Expand(tokens + read), count);
      read += Depth::kValueBytes;
    } else {
      const size_t valueBytes = static_cast<size_t>(count) * Depth::kValueBytes;
      if (length - read < valueBytes) return false;
      if (kWrite && count > 0) {
        const uint8_t* value = tokens + read;
        uint8_t* dst = out + p;
        // Four-byte stores: each spills into the next pixel of the block,
        // which is written next; the last pixel gets exactly three bytes.
        for (uint32_t k = 1; k < count; ++k, dst += 3, value += Depth::kValueBytes) {
          const uint32_t bgr = Depth::Expand(value);
          std::memcpy(dst, &bgr, 4);
        }
        const uint32_t last = Depth::Expand(value);
        std::memcpy(dst, &last, 3);
      }
      read += valueBytes;
    }
    p += bytes;
    if (p >= capacity) return true;  // a full region needs no end token
  }
}

template <class Depth>
uint32_t Decode(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity) {
  if (capacity == 0) return 0;
  uint32_t reached;
  if (!DecodePass<Depth, false>(tokens, length, out, capacity, reached)) {
    ReportDecodeFailure(Depth::kDumpFile, tokens, length);
    return 0;
  }
  DecodePass<Depth, true>(tokens, length, out, capacity, reached);
  return reached;
}

}  // namespace

uint32_t CountEqualPixels(uint32_t bytesPerPixel, uint32_t count, const uint8_t* a,
                          const uint8_t* b) {
  const size_t n = static_cast<size_t>(count) * bytesPerPixel;
  size_t i = 0;
  // Wide comparison: long unchanged or uniform stretches are the common case.
  for (; i + 16 <= n; i += 16) {
    const uint64_t x0 = Load64(a + i) ^ Load64(b + i);
    const uint64_t x1 = Load64(a + i + 8) ^ Load64(b + i + 8);
    if (x0 | x1) {
      const size_t at = x0 ? i + FirstDifferingByte(x0) : i + 8 + FirstDifferingByte(x1);
      return static_cast<uint32_t>(at / bytesPerPixel);
    }
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<uint32_t>(i / bytesPerPixel);
  }
  return count;
}

uint32_t RLE565Encode([[maybe_unused]] uint32_t bytesPerPixel, uint32_t pixelCount,
                      const uint8_t* reference, const uint8_t* pixels, uint8_t* out) {
  assert(bytesPerPixel == kPixelBytes);
  return Encode<Depth565>(pixelCount, reference, pixels, out);
}

uint32_t RLE332Encode([[maybe_unused]] uint32_t bytesPerPixel, uint32_t pixelCount,
                      const uint8_t* reference, const uint8_t* pixels, uint8_t* out) {
  assert(bytesPerPixel == kPixelBytes);
  return Encode<Depth332>(pixelCount, reference, pixels, out);
}

uint32_t RLE565Decode(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity) {
  return Decode<Depth565>(tokens, length, out, capacity);
}

uint32_t RLE332Decode(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity) {
  return Decode<Depth332>(tokens, length, out, capacity);
}
