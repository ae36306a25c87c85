#include <gtest/gtest.h>

#include "ContentScript.h"
#include "PictureMatch.h"

namespace {
Picture Filled(uint32_t w, uint32_t h, uint8_t b, uint8_t g, uint8_t r) {
  Picture p = GreyPicture(w, h);
  for (size_t i = 0; i < p.pixels.size(); i += 3) p.pixels[i] = b, p.pixels[i + 1] = g, p.pixels[i + 2] = r;
  return p;
}

void SetPixel(Picture& p, uint32_t x, uint32_t y, uint8_t b, uint8_t g, uint8_t r) {
  uint8_t* px = p.TopDownRow(y) + 3 * x;
  px[0] = b, px[1] = g, px[2] = r;
}
}  // namespace

TEST(PictureMatch, FiveSixFivePrecisionAllowsSevenInRedAndBlueAndThreeInGreen) {
  Picture expected = Filled(8, 4, 100, 100, 100);
  Picture actual = Filled(8, 4, 107, 103, 93);
  MatchReport inside = Compare565(expected, actual);
  EXPECT_EQ(inside.pixels, 32u);
  EXPECT_EQ(inside.mismatched, 0u);
  EXPECT_EQ(inside.maxBlue, 7);
  EXPECT_EQ(inside.maxGreen, 3);
  EXPECT_EQ(inside.maxRed, 7);

  SetPixel(actual, 3, 1, 100, 104, 100);  // green 4 off
  SetPixel(actual, 5, 2, 92, 100, 100);   // blue 8 off
  MatchReport outside = Compare565(expected, actual);
  EXPECT_EQ(outside.mismatched, 2u);
  EXPECT_NEAR(outside.MatchedShare(), 30.0 / 32, 1e-9);
}

TEST(PictureMatch, IgnoredBoxesAreNotCompared) {
  Picture expected = Filled(8, 8, 0, 0, 0);
  Picture actual = expected;
  SetPixel(actual, 1, 1, 255, 255, 255);
  SetPixel(actual, 6, 6, 255, 255, 255);
  MatchReport report = Compare565(expected, actual, {{0, 0, 4, 4}});
  EXPECT_EQ(report.pixels, 64u - 16u);
  EXPECT_EQ(report.mismatched, 1u);
}

TEST(PictureMatch, DifferentSizesNeverMatch) {
  MatchReport report = Compare565(Filled(8, 4, 0, 0, 0), Filled(4, 4, 0, 0, 0));
  EXPECT_EQ(report.mismatched, report.pixels);
  EXPECT_GT(report.pixels, 0u);
}

TEST(PictureMatch, PaletteComparisonWantsThePaletteColourOfEachThreeThreeTwoValue) {
  uint8_t palette[256 * 4] = {};
  // red 200, green 100, blue 50 quantises to 0xCC.
  palette[4 * 0xCC + 0] = 53, palette[4 * 0xCC + 1] = 103, palette[4 * 0xCC + 2] = 202;
  Picture expected = Filled(4, 2, 50, 100, 200);
  Picture actual = Filled(4, 2, 53, 103, 202);
  EXPECT_EQ(ComparePalette332(expected, actual, palette).mismatched, 0u);
  SetPixel(actual, 0, 0, 53, 103, 201);  // one off is not the palette colour
  EXPECT_EQ(ComparePalette332(expected, actual, palette).mismatched, 1u);
}

TEST(PictureMatch, CropAndDifferenceBoxWorkInTopDownCoordinates) {
  Picture source = Filled(16, 8, 0, 0, 0);
  SetPixel(source, 9, 5, 1, 2, 3);
  Picture crop = CropPicture(source, 8, 4, 6, 3);  // width cut to 4
  EXPECT_EQ(crop.width, 4u);
  EXPECT_EQ(crop.height, 3u);
  const uint8_t* px = crop.TopDownRow(1) + 3;
  EXPECT_EQ(px[0], 1);
  EXPECT_EQ(px[2], 3);

  Picture other = source;
  SetPixel(other, 2, 1, 9, 9, 9);
  SetPixel(other, 12, 6, 9, 9, 9);
  PictureBox box = DifferenceBox(source, other);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.top, 1);
  EXPECT_EQ(box.right, 13);
  EXPECT_EQ(box.bottom, 7);
  PictureBox none = DifferenceBox(source, source);
  EXPECT_EQ(none.right - none.left, 0);
}

TEST(PictureMatch, CutsStayInsideThePictureWithTheirLeftOnAMultipleOfFour) {
  uint32_t left = 0, top = 0;
  PlaceCut(1920, 1080, 624, 600, 960, 540, &left, &top);
  EXPECT_EQ(left, 648u);  // 960 - 312
  EXPECT_EQ(top, 240u);
  PlaceCut(1920, 1080, 624, 600, 10, 10, &left, &top);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(top, 0u);
  PlaceCut(1920, 1080, 624, 600, 1915, 1075, &left, &top);
  EXPECT_EQ(left, 1296u);
  EXPECT_EQ(top, 480u);
  PlaceCut(1920, 1080, 624, 600, 1001, 300, &left, &top);
  EXPECT_EQ(left % 4, 0u);
}
