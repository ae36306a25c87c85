#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Picture: a whole screen picture in the engine's frame layout, as the tools
// read it from and write it to picture files. Pixels are blue, green, red;
// rows are stored bottom-up; the width is a multiple of 4 so rows need no
// padding. Owned by whoever loaded it; no thread affinity.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes

  size_t Stride() const { return static_cast<size_t>(width) * 3; }
  size_t ByteCount() const { return Stride() * height; }
  // Rows are addressed top-down, as every coordinate in the engine is.
  const uint8_t* TopDownRow(uint32_t y) const { return pixels.data() + (height - 1 - y) * Stride(); }
  uint8_t* TopDownRow(uint32_t y) { return pixels.data() + (height - 1 - y) * Stride(); }
};

// The frame width for a requested width: rounded down to a multiple of 4,
// the rightmost columns being dropped.
inline uint32_t FrameWidth(uint32_t requestedWidth) { return requestedWidth & ~3u; }

// A picture of the given size (width already a multiple of 4) in the frame's
// initial grey, every byte 0x80.
Picture GreyPicture(uint32_t width, uint32_t height);

// Builds a frame-layout picture from top-down rows of blue-green-red pixels,
// which is how picture decoders hand them out. `stride` is the distance in
// bytes between source rows. Returns false when the cropped width is 0.
bool PictureFromTopDownBGR(const uint8_t* rows, size_t stride, uint32_t width, uint32_t height,
                           Picture& picture);
