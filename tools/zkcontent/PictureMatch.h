#pragma once

#include <cstdint>
#include <vector>

#include "PictureLayout.h"

// Comparing what a viewer shows with what the presenter's screen held, and
// cutting pictures to the size of the shared area. Portable; no state.

// A rectangle in top-down picture coordinates (right and bottom exclusive).
struct PictureBox {
  int32_t left, top, right, bottom;
};

struct MatchReport {
  uint64_t pixels = 0;      // compared
  uint64_t mismatched = 0;  // outside the tolerance
  int maxRed = 0, maxGreen = 0, maxBlue = 0;  // largest differences seen
  double MatchedShare() const { return pixels ? 1.0 - double(mismatched) / pixels : 0; }
};

// Within 5-6-5 precision: red and blue within 7, green within 3 of the
// expected pixel. Both pictures must have the same size; pixels inside any
// of the `ignored` boxes are not compared (the viewer draws the presenter's
// pointer over its picture).
MatchReport Compare565(const Picture& expected, const Picture& actual,
                       const std::vector<PictureBox>& ignored = {});

// 8-bit mode: every actual pixel must be exactly the palette colour of the
// expected pixel's 3-3-2 value. `palette` holds 256 entries of blue, green,
// red and a reserved byte, as the palette message carries them.
MatchReport ComparePalette332(const Picture& expected, const Picture& actual,
                              const uint8_t* palette, const std::vector<PictureBox>& ignored = {});

// The part of `source` at (left, top) of the given size; the width is cut
// to a multiple of 4, and the box must lie inside the source.
Picture CropPicture(const Picture& source, uint32_t left, uint32_t top, uint32_t width,
                    uint32_t height);

// The smallest box holding every pixel in which two same-sized pictures
// differ; empty (all zero) when they are equal.
PictureBox DifferenceBox(const Picture& a, const Picture& b);
