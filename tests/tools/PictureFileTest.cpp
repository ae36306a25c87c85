#include "PictureFile.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "FileBytes.h"

namespace {

// Blue, green and red differ per pixel, so any swap or flip shows.
Picture NumberedPicture(uint32_t width, uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(picture.ByteCount());
  for (size_t i = 0; i < picture.pixels.size(); ++i) picture.pixels[i] = static_cast<uint8_t>(i * 7 + i / 3);
  return picture;
}

}  // namespace

TEST(PictureFile, WrittenPixelsReadBackUnchanged) {
  const std::string path = "picture_file_round_trip.png";
  const Picture written = NumberedPicture(8, 3);
  std::string error;
  ASSERT_TRUE(WritePictureFile(path, written, error)) << error;
  Picture read;
  ASSERT_TRUE(ReadPictureFile(path, read, error)) << error;
  EXPECT_EQ(read.width, 8u);
  EXPECT_EQ(read.height, 3u);
  EXPECT_EQ(read.pixels, written.pixels);
  std::remove(path.c_str());
}

TEST(PictureFile, ReadingCropsToAMultipleOfFour) {
  // A 6-pixel-wide file: its rows are 18 bytes; the picture keeps 4 pixels.
  const std::string path = "picture_file_crop.png";
  const Picture wide = NumberedPicture(6, 2);
  std::string error;
  ASSERT_TRUE(WritePictureFile(path, wide, error)) << error;
  Picture read;
  ASSERT_TRUE(ReadPictureFile(path, read, error)) << error;
  ASSERT_EQ(read.width, 4u);
  ASSERT_EQ(read.height, 2u);
  for (uint32_t y = 0; y < 2; ++y) {
    EXPECT_EQ(std::vector<uint8_t>(read.TopDownRow(y), read.TopDownRow(y) + 12),
              std::vector<uint8_t>(wide.TopDownRow(y), wide.TopDownRow(y) + 12))
        << "row " << y;
  }
  std::remove(path.c_str());
}

TEST(PictureFile, FailuresNameTheFile) {
  Picture picture;
  std::string error;
  EXPECT_FALSE(ReadPictureFile("no_such_picture.png", picture, error));
  EXPECT_NE(error.find("no_such_picture.png"), std::string::npos);

  const std::string path = "picture_file_not_a_png.png";
  const uint8_t junk[] = "this is no picture at all";
  ASSERT_TRUE(WriteFileBytes(path, junk, sizeof junk, error)) << error;
  error.clear();
  EXPECT_FALSE(ReadPictureFile(path, picture, error));
  EXPECT_NE(error.find(path), std::string::npos);
  std::remove(path.c_str());
}
