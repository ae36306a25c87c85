#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/Trace.h"
#include "events/EventMgr.h"
#include "events/ProtocolMessages.h"
#include "frames/FrameMgr.h"
#include "frames/PixelRoutines.h"
#include "stats/StatStore.h"

namespace {
// The reference rectangle sits in the work buffer, behind the compressor's
// output, whose writes trail its reads of the reference.
constexpr uint32_t kReferenceOffset = kReferenceOffsetInOutput;
static_assert(kPaletteBytes == kPaletteEntryCount * kPaletteEntrySize,
              "the palette travels as the frame builds it");
}  // namespace

bool FrameMgr::SendRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  // Clip to the frame: its width is the client width rounded up to a multiple
  // of 4, so a rectangle whose edges are multiples of 4 keeps them, and what
  // is announced, grabbed and inserted is one and the same rectangle.
  int32_t frameWidth = frameFormat_.Width(), frameHeight = frameFormat_.Height();
  int32_t captureHeight = captureRect_.bottom - captureRect_.top;
  Rect clip = Intersect(Rect{left, top, right, bottom},
                        Rect{0, 0, frameWidth, std::min(frameHeight, captureHeight)});
  if (clip.IsEmpty() || !frameBuffer_) return false;
  // With a run-length stage, rows equal to the reference make no stream, so
  // only the rows between the first and the last that changed are
  // compressed and sent, and a still screen costs the grab's comparison.
  // With none, every grab is sent whole, as before.
  const bool narrow = HasRunLengthStage();
  RowSpan changed;
  if (!Grab(clip.left, clip.top, clip.right, clip.bottom, narrow ? &changed : nullptr))
    return false;
  if (captureFormat_.PixelCount() == 0) return false;
  if (narrow) {
    if (changed.top == changed.bottom) return true;
    NarrowGrabTo(changed, &clip);
  }
  uint32_t pixels = captureFormat_.PixelCount();
  int32_t width = captureFormat_.Width(), height = captureFormat_.Height();
  if (workBytes_ < kReferenceOffset + CompressBound(pixels)) return false;
  const uint8_t* reference = frameBuffer_;
  if (width != frameWidth || height != frameHeight) {
    ExtractRect(3, frameWidth, frameHeight, frameBuffer_, clip.left, clip.top, width, height,
                work_ + kReferenceOffset);
    reference = work_ + kReferenceOffset;
  }
  uint32_t length = Compress(3, pixels, reference, scratch_, work_);
  if (length == 0) return true;  // unchanged (or nothing could be made of it)

  // What the queue refuses stays out of the reference, so that the next poll
  // of the area finds it changed and sends it again.
  if (!SendDisplayUpdate(clip.left, clip.top, width, height, length, work_)) return false;
  InsertRect(3, clip.left, clip.top, width, height, scratch_, frameWidth, frameHeight,
             frameBuffer_);
  if (palettePending_) {
    palettePending_ = false;
    SendPalette();
  }
  return true;
}

void FrameMgr::NarrowGrabTo(const RowSpan& changed, Rect* clip) {
  if (changed.top == clip->top && changed.bottom == clip->bottom) return;
  const size_t rowBytes = static_cast<size_t>(captureFormat_.Width()) * 3;
  // Bottom-up: the rows kept start after those below them.
  const size_t below = static_cast<size_t>(clip->bottom - changed.bottom);
  const int32_t rows = changed.bottom - changed.top;
  std::memmove(scratch_, scratch_ + below * rowBytes, rows * rowBytes);
  captureFormat_.Set(captureFormat_.Width(), rows);
  clip->top = changed.top;
  clip->bottom = changed.bottom;
}

bool FrameMgr::SendFullFrame() {
  uint32_t pixels = frameFormat_.PixelCount();
  if (pixels == 0 || !frameBuffer_) return true;
  fullFrameOwed_ = !QueueFullFrame(pixels);
  return !fullFrameOwed_;
}

bool FrameMgr::QueueFullFrame(uint32_t pixels) {
  if (!SendDisplayFormat(frameFormat_.Width(), frameFormat_.Height()) || !SendPalette())
    return false;
  std::vector<uint8_t> stream(CompressBound(pixels));
  uint32_t length = Compress(3, pixels, nullptr, frameBuffer_, stream.data());
  return length == 0 ||
         SendDisplayUpdate(0, 0, frameFormat_.Width(), frameFormat_.Height(), length, stream.data());
}

bool FrameMgr::SendDisplayFormat(int32_t width, int32_t height) {
  const DisplayFormatMessage format{token_, static_cast<uint16_t>(width),
                                    static_cast<uint16_t>(height)};
  // Viewers that miss a format no longer hold a frame like the reference.
  if (owner_->QueueMessage(ZKP_DISPLAYFORMAT, format)) return true;
  fullFrameOwed_ = true;
  return false;
}

bool FrameMgr::SendPalette() {
  if (!Is8BitMode() || !frameBuffer_) return true;
  uint8_t entries[kPaletteBytes];
  BuildPalette(frameFormat_.PixelCount(), frameBuffer_, entries);
  Trace(TRACE_LIFECYCLE, "\r\nSentPalette");
  if (owner_->QueueMessage(ZKP_PALETTE, PaletteMessage{token_, entries})) return true;
  palettePending_ = true;  // the next update that goes out tries again
  return false;
}

bool FrameMgr::SendDisplayUpdate(int32_t left, int32_t top, int32_t width, int32_t height,
                                 uint32_t streamLength, const uint8_t* stream) {
  const DisplayUpdateMessage update = {token_,
                                       static_cast<uint16_t>(left),
                                       static_cast<uint16_t>(top),
                                       static_cast<uint16_t>(width),
                                       static_cast<uint16_t>(height),
                                       streamLength,
                                       stream};
  StatAddMessage(streamLength);
  return owner_->QueueMessage(ZKP_DISPLAYUPDATE, update);
}
