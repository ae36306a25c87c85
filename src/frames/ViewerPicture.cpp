#include "frames/ViewerPicture.h"

#include <algorithm>
#include <new>

#include "frames/PictureBounds.h"

bool ViewerPicture::ChangeFormat(int32_t width, int32_t height) {
  if (!PictureFitsInMemory(width, height)) return false;
  const int32_t newWidth = PictureWidth(width), newHeight = PictureHeight(height);
  // The overlap is cut from the old picture and measured with the new width
  // as the new format rounds it.
  const int32_t keepWidth = std::min(width_, newWidth), keepHeight = std::min(height_, newHeight);
  try {
    std::vector<uint8_t> kept(static_cast<size_t>(keepWidth) * keepHeight * 3);
    if (!kept.empty())
      ExtractRect(3, width_, height_, pixels_.data(), 0, 0, keepWidth, keepHeight, kept.data());
    std::vector<uint8_t> pixels(static_cast<size_t>(newWidth) * newHeight * 3);
    FillPixels(3, static_cast<uint32_t>(newWidth) * newHeight, kBlankPictureColour, pixels.data());
    if (!kept.empty())
      InsertRect(3, 0, 0, keepWidth, keepHeight, kept.data(), newWidth, newHeight, pixels.data());
    pixels_.swap(pixels);
  } catch (const std::bad_alloc&) {
    return false;
  }
  width_ = newWidth;
  height_ = newHeight;
  hasFormat_ = true;
  scratch_.clear();
  scratch_.shrink_to_fit();
  codec_.ReleaseWorkBuffers();
  return true;
}

void ViewerPicture::SetPalette(const uint8_t* entries) {
  std::copy(entries, entries + kPaletteBytes, palette_);
  if (!hasFormat_) return;
  InstallPalette();
  const uint32_t count = static_cast<uint32_t>(width_) * height_;
  std::vector<uint8_t> values(count);
  Quantize332(count, pixels_.data(), values.data());
  ExpandPalette332(count, values.data(), pixels_.data());
}

bool ViewerPicture::ApplyUpdate(const DisplayUpdateMessage& update, Rect* changed) {
  if (!hasFormat_) return false;
  if (update.width == width_ && update.height == height_) {
    // The whole picture, wherever the message places it.
    if (!ApplyWhole(update)) return false;
    *changed = Bounds();
    return true;
  }
  if (update.width > width_ || update.height > height_) return false;
  if (update.left + update.width > width_ || update.top + update.height > height_) return false;
  // Only whole groups of 4 columns are decoded, as the sender's rectangles are.
  const int32_t width = PictureWidth(update.width);
  if (width == 0 || update.height == 0 || !ApplyPartial(update, width)) return false;
  *changed = Rect{update.left, update.top, update.left + width, update.top + update.height};
  return true;
}

bool ViewerPicture::ApplyWhole(const DisplayUpdateMessage& update) {
  InstallPalette();
  // The current picture is the stream's reference: decode over it in place.
  return codec_.Decompress(update.streamLength, update.stream,
                           static_cast<uint32_t>(pixels_.size()), pixels_.data()) != 0;
}

bool ViewerPicture::ApplyPartial(const DisplayUpdateMessage& update, int32_t width) {
  const size_t bytes = static_cast<size_t>(width) * update.height * 3;
  try {
    scratch_.resize(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ExtractRect(3, width_, height_, pixels_.data(), update.left, update.top, width, update.height,
              scratch_.data());
  InstallPalette();
  if (!codec_.Decompress(update.streamLength, update.stream, static_cast<uint32_t>(bytes),
                         scratch_.data()))
    return false;
  InsertRect(3, update.left, update.top, width, update.height, scratch_.data(), width_, height_,
             pixels_.data());
  return true;
}

PictureView ViewerPicture::View() const {
  return PictureView{width_, height_, hasFormat_ ? pixels_.data() : nullptr};
}
