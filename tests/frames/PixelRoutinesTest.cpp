#include "frames/PixelRoutines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> NumberedBytes(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

size_t PixelOffset(int32_t width, int32_t height, int32_t x, int32_t y) {
  return (static_cast<size_t>(height - 1 - y) * width + x) * 3;
}

TEST(RectCopy, TopRowOfABottomUpFrameIsItsLastMemoryRow) {
  const std::vector<uint8_t> frame = NumberedBytes(4 * 2 * 3);
  std::vector<uint8_t> packed(4 * 3);
  ExtractRect(3, 4, 2, frame.data(), 0, 0, 4, 1, packed.data());
  EXPECT_EQ(packed, std::vector<uint8_t>(frame.begin() + 12, frame.end()));
}

TEST(RectCopy, ExtractedRectangleHoldsThePixelsOfItsFrameCoordinates) {
  const int32_t W = 12, H = 9, x = 3, y = 2, w = 5, h = 4;
  const std::vector<uint8_t> frame = NumberedBytes(W * H * 3);
  std::vector<uint8_t> packed(w * h * 3);
  ExtractRect(3, W, H, frame.data(), x, y, w, h, packed.data());
  for (int32_t ry = 0; ry < h; ++ry) {
    for (int32_t rx = 0; rx < w; ++rx) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(packed[PixelOffset(w, h, rx, ry) + c],
                  frame[PixelOffset(W, H, x + rx, y + ry) + c]);
      }
    }
  }
}

TEST(RectCopy, InsertIsTheInverseOfExtractAndTouchesNothingElse) {
  const int32_t W = 12, H = 9, x = 4, y = 5, w = 8, h = 3;
  const std::vector<uint8_t> source = NumberedBytes(w * h * 3);
  std::vector<uint8_t> frame(W * H * 3, 0x80);
  InsertRect(3, x, y, w, h, source.data(), W, H, frame.data());
  std::vector<uint8_t> back(w * h * 3);
  ExtractRect(3, W, H, frame.data(), x, y, w, h, back.data());
  EXPECT_EQ(back, source);
  size_t untouched = 0;
  for (uint8_t b : frame) untouched += b == 0x80;
  EXPECT_GE(untouched, frame.size() - source.size());
  EXPECT_EQ(frame[PixelOffset(W, H, x - 1, y)], 0x80);
  EXPECT_EQ(frame[PixelOffset(W, H, x, y - 1)], 0x80);
}

TEST(RectCopy, ZeroHeightCopiesNothing) {
  const std::vector<uint8_t> frame = NumberedBytes(4 * 2 * 3);
  std::vector<uint8_t> packed(12, 0xEE);
  ExtractRect(3, 4, 2, frame.data(), 0, 0, 4, 0, packed.data());
  EXPECT_EQ(packed, std::vector<uint8_t>(12, 0xEE));
}

TEST(FillPixels, WritesBlueGreenRedOfTheColourIntoEveryPixel) {
  std::vector<uint8_t> pixels(5 * 3 + 1, 0);
  FillPixels(3, 5, MakeColour(0x11, 0x22, 0x33), pixels.data());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(pixels[i * 3 + 0], 0x11);
    EXPECT_EQ(pixels[i * 3 + 1], 0x22);
    EXPECT_EQ(pixels[i * 3 + 2], 0x33);
  }
  EXPECT_EQ(pixels.back(), 0);
}

TEST(ColourModel332, QuantizesByTruncation) {
  EXPECT_EQ(Quantize332(50, 100, 200), 0xCC);
  EXPECT_EQ(Quantize332(255, 255, 255), 0xFF);
  EXPECT_EQ(Quantize332(0x3F, 0x1F, 0x1F), 0x00);
  EXPECT_EQ(Quantize332(0x40, 0x20, 0x20), 0x25);
}

TEST(ColourModel332, NominalColourLeavesTheTwoLowestBitsClear) {
  const uint32_t cc = Expand332(0xCC);
  EXPECT_EQ(ColourRed(cc), 0xD8);
  EXPECT_EQ(ColourGreen(cc), 0x6C);
  EXPECT_EQ(ColourBlue(cc), 0x00);
  EXPECT_EQ(Expand332(0xFF), MakeColour(0xFC, 0xFC, 0xFC));
}

TEST(ColourModel332, EveryNominalColourQuantizesBackToItsValue) {
  for (int v = 0; v < 256; ++v) {
    const uint32_t c = Expand332(static_cast<uint8_t>(v));
    ASSERT_EQ(Quantize332(ColourBlue(c), ColourGreen(c), ColourRed(c)), v);
  }
}

TEST(ColourModel332, BufferQuantizeMatchesThePixelRule) {
  const std::vector<uint8_t> pixels = NumberedBytes(40 * 3);
  std::vector<uint8_t> values(40);
  Quantize332(40, pixels.data(), values.data());
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(values[i], Quantize332(pixels[i * 3], pixels[i * 3 + 1], pixels[i * 3 + 2]));
  }
}

// The palette table is process-wide: the first case relies on nobody having
// set it yet, and the one that sets it puts the black table back.
TEST(Palette, BeforeAnyPaletteEveryValueExpandsToBlack) {
  const uint8_t values[3] = {0x00, 0xCC, 0xFF};
  uint8_t pixels[9];
  std::fill(std::begin(pixels), std::end(pixels), 0x55);
  ExpandPalette332(3, values, pixels);
  for (uint8_t b : pixels) EXPECT_EQ(b, 0);
}

TEST(Palette, CellEntryIsTheTruncatedMeanOfItsPixels) {
  // blue, green, red: (52, 102, 201) and (54, 104, 203), both 0xCC.
  const uint8_t pixels[] = {52, 102, 201, 54, 104, 203, 0, 0, 0};
  uint8_t entries[kPaletteBytes];
  BuildPalette(3, pixels, entries);
  EXPECT_EQ(entries[0xCC * 4 + 0], 53);
  EXPECT_EQ(entries[0xCC * 4 + 1], 103);
  EXPECT_EQ(entries[0xCC * 4 + 2], 202);
  EXPECT_EQ(entries[0xCC * 4 + 3], 0);
  EXPECT_EQ(entries[0], 0);  // the black pixel's own cell
  const uint32_t nominal = Expand332(0x25);
  EXPECT_EQ(entries[0x25 * 4 + 0], ColourBlue(nominal));
  EXPECT_EQ(entries[0x25 * 4 + 1], ColourGreen(nominal));
  EXPECT_EQ(entries[0x25 * 4 + 2], ColourRed(nominal));
}

TEST(Palette, MeansQuantizeBackSoRemappingIsStable) {
  const std::vector<uint8_t> pixels = NumberedBytes(3000 * 3);
  uint8_t entries[kPaletteBytes];
  BuildPalette(3000, pixels.data(), entries);
  for (int v = 0; v < 256; ++v) {
    ASSERT_EQ(Quantize332(entries[v * 4], entries[v * 4 + 1], entries[v * 4 + 2]), v);
  }
}

TEST(Palette, ReceivedEntriesDriveTheExpansion) {
  uint8_t entries[kPaletteBytes] = {};
  entries[0xCC * 4 + 0] = 1;
  entries[0xCC * 4 + 1] = 2;
  entries[0xCC * 4 + 2] = 3;
  entries[0xCC * 4 + 3] = 99;  // reserved, ignored
  SetPaletteTable(entries);
  EXPECT_EQ(PaletteTable()[0xCC], MakeColour(1, 2, 3));
  const uint8_t value = 0xCC;
  uint8_t pixel[3] = {};
  ExpandPalette332(1, &value, pixel);
  EXPECT_EQ(pixel[0], 1);
  EXPECT_EQ(pixel[1], 2);
  EXPECT_EQ(pixel[2], 3);
  const uint8_t zeros[kPaletteBytes] = {};
  SetPaletteTable(zeros);
}

}  // namespace

TEST(PixelRoutinesTest, RectEqualsComparesTheRectangleOnly) {
  const int32_t W = 12, H = 6, x = 4, y = 1, w = 4, h = 3;
  std::vector<uint8_t> frame(W * H * 3);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> packed(w * h * 3);
  ExtractRect(3, W, H, frame.data(), x, y, w, h, packed.data());
  EXPECT_TRUE(RectEquals(3, W, H, frame.data(), x, y, w, h, packed.data()));

  frame[0] ^= 1;  // outside the rectangle
  EXPECT_TRUE(RectEquals(3, W, H, frame.data(), x, y, w, h, packed.data()));
  packed[packed.size() - 1] ^= 1;  // the rectangle's top-right byte
  EXPECT_FALSE(RectEquals(3, W, H, frame.data(), x, y, w, h, packed.data()));
}

TEST(PixelRoutinesTest, RectEqualsOnAFullWidthBand) {
  const int32_t W = 8, H = 5;
  std::vector<uint8_t> frame(W * H * 3);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> band(W * 2 * 3);
  ExtractRect(3, W, H, frame.data(), 0, 2, W, 2, band.data());
  EXPECT_TRUE(RectEquals(3, W, H, frame.data(), 0, 2, W, 2, band.data()));
  band[0] ^= 0x80;
  EXPECT_FALSE(RectEquals(3, W, H, frame.data(), 0, 2, W, 2, band.data()));
}
