#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "PictureFile.h"

namespace {

// libpng reports errors by longjmp; the message is kept here on the way.
struct PngErrorText {
  char text[256] = "";
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Everything that changes after setjmp lives on the heap, so that a longjmp
// back leaves no automatic object in an indeterminate state.
struct DecodedRows {
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;
  std::vector<uint8_t> bytes;
};

void ReadRows(png_structp png, png_infop info, DecodedRows& rows) {
  png_read_info(png, info);
  // Whatever the file holds becomes 8-bit blue-green-red; gamma is left
  // alone so that pixel values pass through unchanged.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_strip_alpha(png);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  rows.width = png_get_image_width(png, info);
  rows.height = png_get_image_height(png, info);
  rows.stride = png_get_rowbytes(png, info);
  rows.bytes.resize(rows.stride * rows.height);
  for (int pass = 0; pass < passes; ++pass) {
    for (uint32_t y = 0; y < rows.height; ++y) {
      png_read_row(png, rows.bytes.data() + y * rows.stride, nullptr);
    }
  }
  png_read_end(png, nullptr);
}

bool DecodePng(FILE* file, DecodedRows& rows, std::string& error) {
  PngErrorText pngError;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &pngError, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    error = pngError.text;
    return false;
  }
  png_init_io(png, file);
  ReadRows(png, info, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool EncodePng(FILE* file, const Picture& picture, std::string& error) {
  std::vector<png_bytep> rowPointers(picture.height);
  for (uint32_t y = 0; y < picture.height; ++y) {
    rowPointers[y] = const_cast<png_bytep>(picture.TopDownRow(y));
  }
  PngErrorText pngError;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = pngError.text;
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rowPointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string SystemError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ReadPictureFile(const std::string& path, Picture& picture, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = SystemError("cannot open", path);
    return false;
  }
  auto rows = std::make_unique<DecodedRows>();
  const bool decoded = DecodePng(file, *rows, error);
  std::fclose(file);
  if (!decoded) {
    error = path + ": " + error;
    return false;
  }
  if (!PictureFromTopDownBGR(rows->bytes.data(), rows->stride, rows->width, rows->height, picture)) {
    error = path + ": narrower than 4 pixels";
    return false;
  }
  return true;
}

bool WritePictureFile(const std::string& path, const Picture& picture, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemError("cannot create", path);
    return false;
  }
  const bool encoded = EncodePng(file, picture, error);
  if (std::fclose(file) != 0 && encoded) {
    error = SystemError("cannot write", path);
    return false;
  }
  if (!encoded) error = path + ": " + error;
  return encoded;
}
