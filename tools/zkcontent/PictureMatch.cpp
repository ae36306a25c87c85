#include "PictureMatch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
bool Ignored(const std::vector<PictureBox>& boxes, int32_t x, int32_t y) {
  for (const PictureBox& b : boxes)
    if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) return true;
  return false;
}

uint8_t Quantize332(const uint8_t* bgr) {
  return static_cast<uint8_t>((bgr[2] >> 5) << 5 | (bgr[1] >> 5) << 2 | bgr[0] >> 6);
}

// Puts every pixel both pictures share to `judge`, top-down, skipping ignored
// ones; `judge` returns whether the pair is within tolerance and updates
// maxima.
template <typename Judge>
MatchReport JudgeSharedPixels(const Picture& expected, const Picture& actual,
                              const std::vector<PictureBox>& ignored, Judge judge) {
  MatchReport report;
  if (expected.width != actual.width || expected.height != actual.height) {
    report.pixels = report.mismatched = uint64_t(expected.width) * expected.height;
    return report;
  }
  for (uint32_t y = 0; y < expected.height; ++y) {
    const uint8_t* e = expected.TopDownRow(y);
    const uint8_t* a = actual.TopDownRow(y);
    for (uint32_t x = 0; x < expected.width; ++x, e += 3, a += 3) {
      if (Ignored(ignored, static_cast<int32_t>(x), static_cast<int32_t>(y))) continue;
      ++report.pixels;
      if (!judge(e, a, &report)) ++report.mismatched;
    }
  }
  return report;
}

bool Within(const uint8_t* e, const uint8_t* a, MatchReport* report, int redBlue, int green) {
  int blue = std::abs(e[0] - a[0]), greenDiff = std::abs(e[1] - a[1]), red = std::abs(e[2] - a[2]);
  report->maxBlue = std::max(report->maxBlue, blue);
  report->maxGreen = std::max(report->maxGreen, greenDiff);
  report->maxRed = std::max(report->maxRed, red);
  return red <= redBlue && blue <= redBlue && greenDiff <= green;
}
}  // namespace

MatchReport Compare565(const Picture& expected, const Picture& actual,
                       const std::vector<PictureBox>& ignored) {
  return JudgeSharedPixels(expected, actual, ignored,
                           [](const uint8_t* e, const uint8_t* a, MatchReport* r) {
                             return Within(e, a, r, 7, 3);
                           });
}

MatchReport ComparePalette332(const Picture& expected, const Picture& actual,
                              const uint8_t* palette, const std::vector<PictureBox>& ignored) {
  return JudgeSharedPixels(expected, actual, ignored,
                           [palette](const uint8_t* e, const uint8_t* a, MatchReport* r) {
                             return Within(palette + 4 * Quantize332(e), a, r, 0, 0);
                           });
}

Picture CropPicture(const Picture& source, uint32_t left, uint32_t top, uint32_t width,
                    uint32_t height) {
  Picture crop;
  crop.width = FrameWidth(width);
  crop.height = height;
  crop.pixels.resize(crop.ByteCount());
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(crop.TopDownRow(y), source.TopDownRow(top + y) + left * 3, crop.Stride());
  return crop;
}

PictureBox DifferenceBox(const Picture& a, const Picture& b) {
  PictureBox box = {INT32_MAX, INT32_MAX, 0, 0};
  for (uint32_t y = 0; y < a.height; ++y) {
    const uint8_t* pa = a.TopDownRow(y);
    const uint8_t* pb = b.TopDownRow(y);
    for (uint32_t x = 0; x < a.width; ++x) {
      if (std::memcmp(pa + 3 * x, pb + 3 * x, 3) == 0) continue;
      box.left = std::min(box.left, static_cast<int32_t>(x));
      box.top = std::min(box.top, static_cast<int32_t>(y));
      box.right = std::max(box.right, static_cast<int32_t>(x) + 1);
      box.bottom = std::max(box.bottom, static_cast<int32_t>(y) + 1);
    }
  }
  if (box.right == 0) box = PictureBox{0, 0, 0, 0};
  return box;
}
