#include "PictureLayout.h"

#include <cstring>

Picture GreyPicture(uint32_t width, uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(picture.ByteCount(), 0x80);
  return picture;
}

bool PictureFromTopDownBGR(const uint8_t* rows, size_t stride, uint32_t width, uint32_t height,
                           Picture& picture) {
  picture.width = FrameWidth(width);
  picture.height = height;
  if (picture.width == 0 || height == 0) {
    picture.pixels.clear();
    return false;
  }
  picture.pixels.resize(picture.ByteCount());
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(picture.TopDownRow(y), rows + y * stride, picture.Stride());
  }
  return true;
}
