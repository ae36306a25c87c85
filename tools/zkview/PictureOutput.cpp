#include "PictureOutput.h"

#include <mbedtls/sha256.h>

#include <array>
#include <cstdio>

namespace {
std::string Hex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// Hashed a row at a time: the frame layout is bottom-up blue-green-red.
std::array<uint8_t, 32> DigestTopDownRgb(const Picture& picture) {
  mbedtls_sha256_context context;
  mbedtls_sha256_init(&context);
  mbedtls_sha256_starts_ret(&context, 0);
  std::vector<uint8_t> row(picture.Stride());
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t* source = picture.TopDownRow(y);
    for (size_t i = 0; i < row.size(); i += 3) {
      row[i] = source[i + 2];
      row[i + 1] = source[i + 1];
      row[i + 2] = source[i];
    }
    mbedtls_sha256_update_ret(&context, row.data(), row.size());
  }
  std::array<uint8_t, 32> digest;
  mbedtls_sha256_finish_ret(&context, digest.data());
  mbedtls_sha256_free(&context);
  return digest;
}
}  // namespace

Picture CopyPicture(const PictureView& view) {
  Picture picture;
  if (!view.pixels) return picture;
  picture.width = static_cast<uint32_t>(view.width);
  picture.height = static_cast<uint32_t>(view.height);
  picture.pixels.assign(view.pixels, view.pixels + picture.ByteCount());
  return picture;
}

std::string PictureLine(const Picture& picture) {
  const std::array<uint8_t, 32> digest = DigestTopDownRgb(picture);
  return "picture " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
         " sha256 " + Hex(digest.data(), digest.size());
}
