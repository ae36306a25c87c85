#include "frames/PixelRoutines.h"

#include <cstring>

namespace {

// Process-wide, as viewers share one palette whatever the number of frames.
uint32_t g_paletteTable[256];

// One cell per 3-3-2 value, used only while a palette is computed.
struct HistogramCell {
  uint32_t red;
  uint32_t green;
  uint32_t blue;
  uint32_t count;
};
HistogramCell g_histogram[256];

}  // namespace

void ExtractRect(uint32_t bytesPerPixel, int32_t frameWidth, int32_t frameHeight,
                 const uint8_t* frame, int32_t x, int32_t y, int32_t w, int32_t h,
                 uint8_t* packed) {
  if (h < 1 || w < 1) return;
  const size_t frameStride = static_cast<size_t>(frameWidth) * bytesPerPixel;
  const size_t rowBytes = static_cast<size_t>(w) * bytesPerPixel;
  // Bottom-up storage: the rectangle's bottom row comes first in memory.
  const uint8_t* src = frame + static_cast<size_t>(frameHeight - y - h) * frameStride +
                       static_cast<size_t>(x) * bytesPerPixel;
  for (int32_t row = 0; row < h; ++row) {
    std::memcpy(packed, src, rowBytes);
    packed += rowBytes;
    src += frameStride;
  }
}

bool RectEquals(uint32_t bytesPerPixel, int32_t frameWidth, int32_t frameHeight,
                const uint8_t* frame, int32_t x, int32_t y, int32_t w, int32_t h,
                const uint8_t* packed) {
  if (h < 1 || w < 1) return true;
  const size_t frameStride = static_cast<size_t>(frameWidth) * bytesPerPixel;
  const size_t rowBytes = static_cast<size_t>(w) * bytesPerPixel;
  const uint8_t* row = frame + static_cast<size_t>(frameHeight - y - h) * frameStride +
                       static_cast<size_t>(x) * bytesPerPixel;
  // A band as wide as the frame is one run of memory in both.
  if (rowBytes == frameStride) return std::memcmp(packed, row, rowBytes * h) == 0;
  for (int32_t i = 0; i < h; ++i, packed += rowBytes, row += frameStride)
    if (std::memcmp(packed, row, rowBytes) != 0) return false;
  return true;
}

void InsertRect(uint32_t bytesPerPixel, int32_t x, int32_t y, int32_t w, int32_t h,
                const uint8_t* packed, int32_t frameWidth, int32_t frameHeight,
                uint8_t* frame) {
  if (h < 1 || w < 1) return;
  const size_t frameStride = static_cast<size_t>(frameWidth) * bytesPerPixel;
  const size_t rowBytes = static_cast<size_t>(w) * bytesPerPixel;
  uint8_t* dst = frame + static_cast<size_t>(frameHeight - y - h) * frameStride +
                 static_cast<size_t>(x) * bytesPerPixel;
  for (int32_t row = 0; row < h; ++row) {
    std::memcpy(dst, packed, rowBytes);
    packed += rowBytes;
    dst += frameStride;
  }
}

void FillPixels(uint32_t bytesPerPixel, uint32_t pixelCount, uint32_t colour,
                uint8_t* pixels) {
  if (bytesPerPixel != 3) return;  // frames are 24-bit; nothing else is ever filled
  const uint8_t blue = ColourBlue(colour);
  const uint8_t green = ColourGreen(colour);
  const uint8_t red = ColourRed(colour);
  for (uint32_t i = 0; i < pixelCount; ++i, pixels += 3) {
    pixels[0] = blue;
    pixels[1] = green;
    pixels[2] = red;
  }
}

void Quantize332(uint32_t pixelCount, const uint8_t* pixels, uint8_t* values) {
  for (uint32_t i = 0; i < pixelCount; ++i, pixels += 3) {
    values[i] = Quantize332(pixels[0], pixels[1], pixels[2]);
  }
}

uint32_t Expand332(uint8_t value) {
  const uint32_t r = value >> 5;
  const uint32_t g = (value >> 2) & 7;
  const uint32_t b = value & 3;
  // The two lowest bits stay 0 so that every nominal colour quantizes back.
  return MakeColour(static_cast<uint8_t>(b << 6 | b << 4 | b << 2),
                    static_cast<uint8_t>(g << 5 | g << 2),
                    static_cast<uint8_t>(r << 5 | r << 2));
}

void ExpandPalette332(uint32_t pixelCount, const uint8_t* values, uint8_t* pixels) {
  for (uint32_t i = 0; i < pixelCount; ++i, pixels += 3) {
    const uint32_t colour = g_paletteTable[values[i]];
    pixels[0] = ColourBlue(colour);
    pixels[1] = ColourGreen(colour);
    pixels[2] = ColourRed(colour);
  }
}

void RemapThroughPalette(uint32_t pixelCount, uint8_t* pixels, uint8_t* values) {
  Quantize332(pixelCount, pixels, values);
  ExpandPalette332(pixelCount, values, pixels);
}

void BuildPalette(uint32_t pixelCount, const uint8_t* pixels, uint8_t* entries) {
  std::memset(g_histogram, 0, sizeof g_histogram);
  for (uint32_t i = 0; i < pixelCount; ++i, pixels += 3) {
    HistogramCell& cell = g_histogram[Quantize332(pixels[0], pixels[1], pixels[2])];
    cell.blue += pixels[0];
    cell.green += pixels[1];
    cell.red += pixels[2];
    cell.count += 1;
  }
  for (uint32_t v = 0; v < 256; ++v, entries += 4) {
    const HistogramCell& cell = g_histogram[v];
    // The mean of a cell lies in the cell's colour box, so it quantizes back
    // to v and remapping a frame through the palette is stable.
    const uint32_t colour =
        cell.count == 0 ? Expand332(static_cast<uint8_t>(v))
                        : MakeColour(static_cast<uint8_t>(cell.blue / cell.count),
                                     static_cast<uint8_t>(cell.green / cell.count),
                                     static_cast<uint8_t>(cell.red / cell.count));
    entries[0] = ColourBlue(colour);
    entries[1] = ColourGreen(colour);
    entries[2] = ColourRed(colour);
    entries[3] = 0;
  }
}

void SetPaletteTable(const uint8_t* entries) {
  for (uint32_t v = 0; v < 256; ++v, entries += 4) {
    g_paletteTable[v] = MakeColour(entries[0], entries[1], entries[2]);
  }
}

const uint32_t* PaletteTable() { return g_paletteTable; }

void SetNominalPaletteTable() {
  uint8_t entries[kPaletteBytes];
  for (uint32_t value = 0; value < 256; ++value) {
    const uint32_t colour = Expand332(static_cast<uint8_t>(value));
    entries[4 * value] = ColourBlue(colour);
    entries[4 * value + 1] = ColourGreen(colour);
    entries[4 * value + 2] = ColourRed(colour);
    entries[4 * value + 3] = 0;
  }
  SetPaletteTable(entries);
}
