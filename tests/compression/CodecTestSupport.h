#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "compression/CompressionMgr.h"
#include "compression/DecodeFailureReporter.h"
#include "frames/PixelRoutines.h"

using Bytes = std::vector<uint8_t>;

// Every combination of stage flags that configuration can make.
inline constexpr uint8_t kStageCombinations[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
                                                 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};

// Records the reports of failing decoders while it lives.
class RecordedFailures {
 public:
  RecordedFailures() { previous_ = SetDecodeFailureReporter(&Record); Log().clear(); }
  ~RecordedFailures() { SetDecodeFailureReporter(previous_); }

  struct Report {
    std::string dumpFile;
    Bytes input;
  };
  static std::vector<Report>& Log() {
    static std::vector<Report> log;
    return log;
  }

 private:
  static void Record(const char* dumpFile, const uint8_t* input, uint32_t length) {
    Log().push_back({dumpFile, Bytes(input, input + length)});
  }
  DecodeFailureReporter previous_;
};

// Pixels that look like screen content: flat areas, runs, repeated glyph-like
// patterns and some noise.
inline Bytes ScreenLikePixels(uint32_t pixelCount, std::mt19937& rng) {
  Bytes out;
  out.reserve(pixelCount * 3);
  std::uniform_int_distribution<int> kind(0, 9), len(1, 64), byte(0, 255);
  while (out.size() < pixelCount * 3) {
    const int k = kind(rng);
    const int n = len(rng);
    if (k < 4) {  // a flat run
      const uint8_t b = static_cast<uint8_t>(byte(rng)), g = static_cast<uint8_t>(byte(rng) & 0xF0),
                    r = static_cast<uint8_t>(byte(rng));
      for (int i = 0; i < n * 4; ++i) out.insert(out.end(), {b, g, r});
    } else if (k < 7 && out.size() >= 300) {  // repeat something seen before
      const size_t from = out.size() - 3 * (1 + rng() % (out.size() / 3 - 1));
      for (int i = 0; i < n * 3; ++i) out.push_back(out[from + i]);
    } else {  // noise from a small palette
      for (int i = 0; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>((rng() % 6) * 40);
        out.insert(out.end(), {v, static_cast<uint8_t>(v + 10), static_cast<uint8_t>(255 - v)});
      }
    }
  }
  out.resize(pixelCount * 3);
  return out;
}

// A copy of pixels in which about one pixel in `every` differs.
inline Bytes Perturbed(const Bytes& pixels, uint32_t every, std::mt19937& rng) {
  Bytes out = pixels;
  for (size_t p = 0; p + 3 <= out.size(); p += 3) {
    if (rng() % every == 0) out[p + rng() % 3] ^= static_cast<uint8_t>(1 + rng() % 255);
  }
  return out;
}

// What a 5-6-5 round trip leaves of 24-bit pixels.
inline Bytes Through565(const Bytes& pixels) {
  Bytes out(pixels.size());
  for (size_t i = 0; i < pixels.size(); i += 3) {
    out[i] = pixels[i] & 0xF8;
    out[i + 1] = pixels[i + 1] & 0xFC;
    out[i + 2] = pixels[i + 2] & 0xF8;
  }
  return out;
}

// What a receiver holds after decoding pixels at the depth of the stages:
// 3-3-2 values expand through the current palette table, and without a
// run-length stage the pixels arrive whole.
inline Bytes ReceiverView(uint8_t stages, const Bytes& pixels) {
  if (stages & STAGE_RLE565) return Through565(pixels);
  if (!(stages & STAGE_RLE332)) return pixels;
  const uint32_t n = static_cast<uint32_t>(pixels.size() / 3);
  Bytes values(n), out(pixels.size());
  Quantize332(n, pixels.data(), values.data());
  ExpandPalette332(n, values.data(), out.data());
  return out;
}
