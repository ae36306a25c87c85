#pragma once

#include <cstdint>
#include <vector>

#include "compression/CompressionMgr.h"
#include "events/DisplayMessages.h"
#include "frames/PixelRoutines.h"
#include "frames/Rect.h"

// A read-only view of a viewer's picture: width x height pixels of three
// bytes each (blue, green, red), rows packed with no padding (width is a
// multiple of 4) and stored BOTTOM-UP: the first row in memory is the
// picture's bottom row. Valid until the picture's next change of format.
struct PictureView {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;  // null until a format arrived
};

// ViewerPicture holds the picture a viewer displays and changes it as the
// display messages say, exactly as the Win32 viewer's frame does: width
// rounded down to a multiple of 4, grey where nothing was received, the
// top-left overlap kept across a change of format, 8-bit colour through the
// received palette, and updates decoded against the pixels they replace.
// Received bytes are untrusted: what does not fit or does not decode is
// refused and leaves the picture as it was.
//
// Owned by a ViewerModel. One thread at a time; decoding uses the
// process-wide palette table (see PixelRoutines.h), which this class sets to
// its own palette before each use, so pictures of one process must be
// changed from one thread.
class ViewerPicture {
 public:
  // False (nothing changed) for a format larger than a picture may be.
  bool ChangeFormat(int32_t width, int32_t height);
  // Recolours the picture through kPaletteBytes received entries.
  void SetPalette(const uint8_t* entries);
  // Decodes a received update into the picture. On success gives the
  // rectangle (top-down picture coordinates) whose pixels it rewrote.
  bool ApplyUpdate(const DisplayUpdateMessage& update, Rect* changed);

  bool HasFormat() const { return hasFormat_; }
  Rect Bounds() const { return Rect{0, 0, width_, height_}; }
  PictureView View() const;

 private:
  bool ApplyWhole(const DisplayUpdateMessage& update);
  bool ApplyPartial(const DisplayUpdateMessage& update, const Rect& r);
  void InstallPalette() const { SetPaletteTable(palette_); }

  CompressionMgr codec_;
  std::vector<uint8_t> pixels_;
  std::vector<uint8_t> scratch_;  // one rectangle, packed bottom-up
  int32_t width_ = 0, height_ = 0;
  bool hasFormat_ = false;
  // All black until a palette arrives, as the process-wide table starts.
  uint8_t palette_[kPaletteBytes] = {};
};
