#pragma once

#include <cstdint>

// How large a received picture format may be, for every receiver of display
// formats: the Win32 viewer's frame manager and the portable viewer model.
// Portable; no state.

// A format costs about five images at once: the frame, scratch and work
// buffers, and the compressor's two work buffers when it decodes a whole
// frame. Together they stay within this bound inside a 32-bit host, which a
// received format of up to 65535 x 65535 (12 GB an image) would otherwise
// exhaust; an 8K frame (7680 x 4320, 95 MB an image) fits.
constexpr uint64_t kImagesPerFormat = 5;
constexpr uint64_t kMaxPictureMemory = 512u << 20;
// Slack kept past each image buffer.
constexpr uint32_t kPictureSpareBytes = 1024;

// Blue, green and red bytes of picture not received yet: mid grey.
constexpr uint32_t kBlankPictureColour = 0x808080;

// Pictures are 24-bit with rows of a multiple of 4 pixels: the width rounded
// down, negative sizes as 0.
inline int32_t PictureWidth(int32_t width) { return width < 0 ? 0 : width & ~3; }
inline int32_t PictureHeight(int32_t height) { return height < 0 ? 0 : height; }

// The top-left part of a picture kept across a change of its format: cut
// from the old picture, so never beyond it, and measured with the new width
// as the new format rounds it.
struct PictureOverlap {
  int32_t width;
  int32_t height;
};
inline PictureOverlap KeptOverlap(int32_t oldWidth, int32_t oldHeight, int32_t newWidth,
                                  int32_t newHeight) {
  const int32_t width = PictureWidth(newWidth), height = PictureHeight(newHeight);
  return {oldWidth < width ? oldWidth : width, oldHeight < height ? oldHeight : height};
}

inline bool PictureFitsInMemory(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return false;
  const uint64_t image =
      static_cast<uint64_t>(PictureWidth(width)) * static_cast<uint64_t>(height) * 3;
  return kImagesPerFormat * (image + kPictureSpareBytes) <= kMaxPictureMemory;
}
