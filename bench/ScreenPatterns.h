#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Synthetic screens made of the repeating patterns that real desktops show
// and that are hardest for dictionary coders: every few bytes repeat, so hash
// chains grow as long as the picture. Free functions, no state.

enum class ScreenPattern {
  VerticalStripes1px,  // alternating black and white columns
  Checkerboard1px,     // black and white pixels alternating in both directions
  Checkerboard8px,     // the light-grey and white grid behind transparent images
  DiagonalHatching,    // grey 1-pixel diagonals every 8 pixels on white
  DotGrid,             // grey dots every 8 pixels on white, as drawing grids show
};

const std::vector<ScreenPattern>& AllScreenPatterns();

// A short name for reports, such as "stripes-1px".
const char* ScreenPatternName(ScreenPattern pattern);

// The pattern as a frame-layout picture: blue-green-red pixels, rows stored
// bottom-up, `width` (a multiple of 4) by `height`.
std::vector<uint8_t> MakeScreenPattern(ScreenPattern pattern, uint32_t width, uint32_t height);
