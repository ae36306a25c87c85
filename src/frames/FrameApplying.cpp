#include <cstdlib>

#include "common/Trace.h"
#include "frames/FrameMgr.h"
#include "frames/PixelRoutines.h"

bool FrameMgr::ApplyUpdate(const DisplayUpdateMessage& update) {
  if (!scratch_ || !frameBuffer_) return false;
  int32_t frameWidth = frameFormat_.Width(), frameHeight = frameFormat_.Height();
  if (update.width == frameWidth && update.height == frameHeight)
    return ApplyWholeFrame(update.stream, update.streamLength);
  if (update.width > frameWidth || update.height > frameHeight) {
    Trace(TRACE_WARNING, "\r\n***Warning Ignoring OnDisplayUpdate due to size mismatch!");
    return false;
  }
  // It fits by size but not by place: writing it would leave the frame.
  if (update.left + update.width > frameWidth || update.top + update.height > frameHeight) {
    Trace(TRACE_WARNING, "\r\n***Warning Ignoring OnDisplayUpdate outside the frame!");
    return false;
  }
  return ApplyPartial(update.left, update.top, update.width, update.height, update.stream,
                      update.streamLength);
}

bool FrameMgr::ApplyWholeFrame(const uint8_t* stream, uint32_t length) {
  // The current frame is the stream's reference: decode over it in place.
  return Decompress(length, stream, frameFormat_.ImageSize(), frameBuffer_) != 0;
}

bool FrameMgr::ApplyPartial(int32_t left, int32_t top, int32_t width, int32_t height,
                            const uint8_t* stream, uint32_t length) {
  captureFormat_.Set(width, height);
  uint32_t bytes = captureFormat_.ImageSize();
  if (bytes == 0 || bytes > scratchBytes_) return false;
  int32_t w = captureFormat_.Width();
  ExtractRect(3, frameFormat_.Width(), frameFormat_.Height(), frameBuffer_, left, top, w, height,
              scratch_);
  if (!Decompress(length, stream, bytes, scratch_)) return false;
  InsertRect(3, left, top, w, height, scratch_, frameFormat_.Width(), frameFormat_.Height(),
             frameBuffer_);
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
