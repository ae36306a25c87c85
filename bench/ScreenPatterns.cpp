#include "ScreenPatterns.h"

namespace {

constexpr uint8_t kBlack = 0x00;
constexpr uint8_t kWhite = 0xFF;
constexpr uint8_t kGridGrey = 0xCC;
constexpr uint8_t kLineGrey = 0x80;

// Grey level of the pattern at (x, y), top-down coordinates.
uint8_t PatternLevel(ScreenPattern pattern, uint32_t x, uint32_t y) {
  switch (pattern) {
    case ScreenPattern::VerticalStripes1px:
      return (x & 1) != 0 ? kWhite : kBlack;
    case ScreenPattern::Checkerboard1px:
      return ((x ^ y) & 1) != 0 ? kWhite : kBlack;
    case ScreenPattern::Checkerboard8px:
      return (((x >> 3) ^ (y >> 3)) & 1) != 0 ? kGridGrey : kWhite;
    case ScreenPattern::DiagonalHatching:
      return (x + y) % 8 == 0 ? kLineGrey : kWhite;
    case ScreenPattern::DotGrid:
      return (x % 8 == 0 && y % 8 == 0) ? kLineGrey : kWhite;
  }
  return kBlack;
}

}  // namespace

const std::vector<ScreenPattern>& AllScreenPatterns() {
  static const std::vector<ScreenPattern> patterns = {
      ScreenPattern::VerticalStripes1px, ScreenPattern::Checkerboard1px, ScreenPattern::Checkerboard8px,
      ScreenPattern::DiagonalHatching,   ScreenPattern::DotGrid,
  };
  return patterns;
}

const char* ScreenPatternName(ScreenPattern pattern) {
  switch (pattern) {
    case ScreenPattern::VerticalStripes1px:
      return "stripes-1px";
    case ScreenPattern::Checkerboard1px:
      return "checker-1px";
    case ScreenPattern::Checkerboard8px:
      return "checker-8px";
    case ScreenPattern::DiagonalHatching:
      return "hatching";
    case ScreenPattern::DotGrid:
      return "dot-grid";
  }
  return "unknown";
}

std::vector<uint8_t> MakeScreenPattern(ScreenPattern pattern, uint32_t width, uint32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - y) * width * 3;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t level = PatternLevel(pattern, x, y);
      row[3 * x] = level;
      row[3 * x + 1] = level;
      row[3 * x + 2] = level;
    }
  }
  return pixels;
}
