#include <cstdlib>

#include "common/Trace.h"
#include "frames/FrameMgr.h"
#include "frames/PixelRoutines.h"
#include "frames/UpdatePlacement.h"

bool FrameMgr::ApplyUpdate(const DisplayUpdateMessage& update) {
  if (!scratch_ || !frameBuffer_) return false;
  const UpdatePlacement placement =
      PlaceUpdate(update, frameFormat_.Width(), frameFormat_.Height());
  switch (placement.place) {
    case UpdatePlace::WHOLE: return ApplyWholeFrame(update.stream, update.streamLength);
    case UpdatePlace::PART:
      return ApplyPartial(placement.rect, update.stream, update.streamLength);
    case UpdatePlace::TOO_LARGE:
      Trace(TRACE_WARNING, "\r\n***Warning Ignoring OnDisplayUpdate due to size mismatch!");
      return false;
    case UpdatePlace::OUTSIDE:
      Trace(TRACE_WARNING, "\r\n***Warning Ignoring OnDisplayUpdate outside the frame!");
      return false;
    case UpdatePlace::EMPTY: return false;
  }
  return false;
}

bool FrameMgr::ApplyWholeFrame(const uint8_t* stream, uint32_t length) {
  // The current frame is the stream's reference: decode over it in place.
  return Decompress(length, stream, frameFormat_.ImageSize(), frameBuffer_) != 0;
}

bool FrameMgr::ApplyPartial(const Rect& r, const uint8_t* stream, uint32_t length) {
  captureFormat_.Set(r.Width(), r.Height());
  uint32_t bytes = captureFormat_.ImageSize();
  if (bytes > scratchBytes_) return false;
  ExtractRect(3, frameFormat_.Width(), frameFormat_.Height(), frameBuffer_, r.left, r.top,
              r.Width(), r.Height(), scratch_);
  if (!Decompress(length, stream, bytes, scratch_)) return false;
  InsertRect(3, r.left, r.top, r.Width(), r.Height(), scratch_, frameFormat_.Width(),
             frameFormat_.Height(), frameBuffer_);
  return true;
}

bool FrameMgr::Draw(HDC dc, const Rect& client) {
  if (!frameBuffer_) return false;
  Rect frame = client;
  ClientToFrame(&frame);
  frame = Intersect(frame, Rect{0, 0, frameFormat_.Width(), frameFormat_.Height()});
  if (frame.IsEmpty()) return false;
  Rect destination = frame;
  FrameToClient(&destination);
  return DrawFrameRect(dc, frame, destination.left, destination.top);
}

bool FrameMgr::DrawAt(HDC dc, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (!frameBuffer_) return false;
  Rect frame{x, y, x + width, y + height};
  ClientToFrame(&frame);
  frame = Intersect(frame, Rect{0, 0, frameFormat_.Width(), frameFormat_.Height()});
  if (frame.IsEmpty()) return false;
  Rect destination = frame;
  FrameToClient(&destination);
  return DrawFrameRect(dc, frame, destination.left - x, destination.top - y);
}

bool FrameMgr::DrawFrameRect(HDC dc, const Rect& frame, int32_t destX, int32_t destY) {
  SetStretchBltMode(dc, COLORONCOLOR);
  // Source rows count from the bottom: the frame is a bottom-up picture.
  int lines = StretchDIBits(dc, destX, destY, frame.Width(), frame.Height(), frame.left,
                            frameFormat_.Height() - frame.bottom, frame.Width(), frame.Height(),
                            frameBuffer_, frameFormat_.Info(), DIB_RGB_COLORS, SRCCOPY);
  return lines > 0;
}
