#include "PictureLayout.h"

#include <gtest/gtest.h>

TEST(PictureLayout, FrameWidthDropsTheColumnsPastAMultipleOfFour) {
  EXPECT_EQ(FrameWidth(1023), 1020u);
  EXPECT_EQ(FrameWidth(1024), 1024u);
  EXPECT_EQ(FrameWidth(3), 0u);
}

TEST(PictureLayout, TopDownRowsBecomeBottomUpAndAreCropped) {
  // 6 x 2 source, pixel (x, y) has blue = 10 * y + x, green = 100, red = 200.
  const uint32_t width = 6;
  const uint32_t height = 2;
  const size_t stride = width * 3 + 2;  // sources may pad their rows
  std::vector<uint8_t> rows(stride * height, 0xEE);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* pixel = rows.data() + y * stride + 3 * x;
      pixel[0] = static_cast<uint8_t>(10 * y + x);
      pixel[1] = 100;
      pixel[2] = 200;
    }
  }
  Picture picture;
  ASSERT_TRUE(PictureFromTopDownBGR(rows.data(), stride, width, height, picture));
  EXPECT_EQ(picture.width, 4u);
  EXPECT_EQ(picture.height, 2u);
  ASSERT_EQ(picture.pixels.size(), 4u * 2 * 3);
  // Memory starts with the bottom row (y = 1).
  EXPECT_EQ(picture.pixels[0], 10);
  EXPECT_EQ(picture.pixels[3 * 3], 13);
  EXPECT_EQ(picture.pixels[4 * 3], 0);  // second memory row is the top row
  EXPECT_EQ(picture.pixels[4 * 3 + 1], 100);
  EXPECT_EQ(picture.pixels[4 * 3 + 2], 200);
  EXPECT_EQ(picture.TopDownRow(0)[3 * 3], 3);
}

TEST(PictureLayout, PicturesNarrowerThanFourPixelsAreRefused) {
  const uint8_t rows[9 * 2] = {};
  Picture picture;
  EXPECT_FALSE(PictureFromTopDownBGR(rows, 9, 3, 2, picture));
  EXPECT_TRUE(picture.pixels.empty());
}

TEST(PictureLayout, GreyPictureIsTheFreshFrameColour) {
  const Picture grey = GreyPicture(8, 3);
  EXPECT_EQ(grey.ByteCount(), 8u * 3 * 3);
  ASSERT_EQ(grey.pixels.size(), grey.ByteCount());
  for (const uint8_t byte : grey.pixels) ASSERT_EQ(byte, 0x80);
}
