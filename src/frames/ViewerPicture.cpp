#include "frames/ViewerPicture.h"

#include <algorithm>
#include <new>

#include "frames/PictureBounds.h"
#include "frames/UpdatePlacement.h"

bool ViewerPicture::ChangeFormat(int32_t width, int32_t height) {
  if (!PictureFitsInMemory(width, height)) return false;
  const int32_t newWidth = PictureWidth(width), newHeight = PictureHeight(height);
  const PictureOverlap overlap = KeptOverlap(width_, height_, width, height);
  const int32_t keepWidth = overlap.width, keepHeight = overlap.height;
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
  RemapThroughPalette(count, pixels_.data(), values.data());
}

bool ViewerPicture::ApplyUpdate(const DisplayUpdateMessage& update, Rect* changed) {
  if (!hasFormat_) return false;
  const UpdatePlacement placement = PlaceUpdate(update, width_, height_);
  const bool applied = placement.place == UpdatePlace::WHOLE
                           ? ApplyWhole(update)
                           : placement.place == UpdatePlace::PART &&
                                 ApplyPartial(update, placement.rect);
  if (applied) *changed = placement.rect;
  return applied;
}

bool ViewerPicture::ApplyWhole(const DisplayUpdateMessage& update) {
  InstallPalette();
  // The current picture is the stream's reference: decode over it in place.
  return codec_.Decompress(update.streamLength, update.stream,
                           static_cast<uint32_t>(pixels_.size()), pixels_.data()) != 0;
}

bool ViewerPicture::ApplyPartial(const DisplayUpdateMessage& update, const Rect& r) {
  const size_t bytes = static_cast<size_t>(r.Width()) * r.Height() * 3;
  try {
    scratch_.resize(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ExtractRect(3, width_, height_, pixels_.data(), r.left, r.top, r.Width(), r.Height(),
              scratch_.data());
  InstallPalette();
  if (!codec_.Decompress(update.streamLength, update.stream, static_cast<uint32_t>(bytes),
                         scratch_.data()))
    return false;
  InsertRect(3, r.left, r.top, r.Width(), r.Height(), scratch_.data(), width_, height_,
             pixels_.data());
  return true;
}

PictureView ViewerPicture::View() const {
  return PictureView{width_, height_, hasFormat_ ? pixels_.data() : nullptr};
}
