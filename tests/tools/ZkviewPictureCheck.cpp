// zkview_picture_check EXPECTED.png ACTUAL.png: for the end-to-end script.
// Prints how closely ACTUAL matches EXPECTED within 5-6-5 precision, and
// ACTUAL's picture line as zkview names a picture, worked out here from the
// file (not by zkview's code) so that the script can hold zkview's printed
// line against the PNG it saved. Exits 0 when every pixel matches.
#include <mbedtls/sha256.h>

#include <cstdio>
#include <string>

#include "PictureFile.h"
#include "PictureMatch.h"

namespace {
std::string PictureLine(const Picture& picture) {
  mbedtls_sha256_context context;
  mbedtls_sha256_init(&context);
  mbedtls_sha256_starts_ret(&context, 0);
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t* row = picture.TopDownRow(y);
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint8_t rgb[3] = {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
      mbedtls_sha256_update_ret(&context, rgb, 3);
    }
  }
  uint8_t digest[32];
  mbedtls_sha256_finish_ret(&context, digest);
  mbedtls_sha256_free(&context);
  char hex[65];
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return "picture " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
         " sha256 " + hex;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zkview_picture_check EXPECTED.png ACTUAL.png\n");
    return 2;
  }
  Picture expected, actual;
  std::string error;
  if (!ReadPictureFile(argv[1], expected, error) || !ReadPictureFile(argv[2], actual, error)) {
    std::fprintf(stderr, "zkview_picture_check: %s\n", error.c_str());
    return 2;
  }
  std::printf("%s\n", PictureLine(actual).c_str());
  if (expected.width != actual.width || expected.height != actual.height) {
    std::printf("size differs: expected %ux%u\n", expected.width, expected.height);
    return 1;
  }
  const MatchReport match = Compare565(expected, actual);
  std::printf("match %llu of %llu pixels within 5-6-5 (largest differences r%d g%d b%d)\n",
              static_cast<unsigned long long>(match.pixels - match.mismatched),
              static_cast<unsigned long long>(match.pixels), match.maxRed, match.maxGreen,
              match.maxBlue);
  return match.mismatched == 0 ? 0 : 1;
}
