#pragma once

#include <windows.h>

#include <cstdint>

#include "compression/CompressionMgr.h"
#include "events/DisplayMessages.h"
#include "frames/Rect.h"

class EventMgr;

// The description of one picture in memory: a 24-bit bottom-up DIB whose
// width is a multiple of 4, so rows need no padding. Laid out as a
// BITMAPINFO so that it can be handed to GDI as it stands.
struct FrameFormat {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
  uint8_t bytesPerPixel;

  // Width rounded down to a multiple of 4; height as given.
  void Set(int32_t width, int32_t height);
  int32_t Width() const { return header.biWidth; }
  int32_t Height() const { return header.biHeight; }
  uint32_t ImageSize() const { return header.biSizeImage; }
  uint32_t PixelCount() const { return static_cast<uint32_t>(Width()) * Height(); }
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&header); }
};

// FrameMgr keeps the pictures of a session. On the presenter the frame buffer
// is the reference frame (exactly what the viewers have been sent) and grabs
// come from the screen; on a viewer it is the picture being displayed. It
// owns the screen and memory device contexts, the capture bitmap and three
// buffers. Worker thread only.
class FrameMgr : public CompressionMgr {
 public:
  FrameMgr() = default;
  ~FrameMgr() { Release(); }
  FrameMgr(const FrameMgr&) = delete;
  FrameMgr& operator=(const FrameMgr&) = delete;

  // Fails when the screen cannot be read with BitBlt and GetDIBits.
  bool Init(EventMgr* owner);
  void Release();

  // The whole frame, all grey afterwards; false when the buffer cannot be had.
  bool SetFrameFormat(int32_t width, int32_t height);
  // The size of what is grabbed or decoded; scratch and work buffers follow.
  void SetCaptureFormat(int32_t width, int32_t height);
  // Rows top to bottom (exclusive) of the frame; empty when top == bottom.
  struct RowSpan {
    int32_t top, bottom;
  };
  // Grabs a rectangle of the capture area (frame coordinates) into the
  // scratch buffer; false leaves the frame untouched. With `changed`, also
  // gives the rows where the grab differs from the frame (empty when it
  // equals the frame exactly; the whole rectangle when it is not inside it),
  // and the scratch buffer is sure to hold those rows only.
  bool Grab(int32_t left, int32_t top, int32_t right, int32_t bottom,
            RowSpan* changed = nullptr);
  // Keep the top-left part of the picture across a change of frame size.
  void SaveOverlap(int32_t width, int32_t height);
  void RestoreOverlap(int32_t width, int32_t height);
  // The whole change of size: overlap kept, the rest grey.
  bool ChangeFrameSize(int32_t width, int32_t height);
  void FillFrameGrey();
  // Recolours the frame through the palette table (viewer, after a palette).
  void RemapPalette();

  void FrameToClient(Rect* r) const;
  void ClientToFrame(Rect* r) const;

  // Presenter: grabs a rectangle (client = frame coordinates), compresses it
  // against the reference and queues a display update when it changed.
  bool SendRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // Presenter: display format, palette (8-bit mode) and the whole reference
  // frame, compressed without reference. False when the queue refused any of
  // them (or a format before): the full frame is then owed, and the update
  // tick sends it before anything else.
  bool SendFullFrame();
  bool IsFullFrameOwed() const { return fullFrameOwed_; }
  bool SendDisplayFormat(int32_t width, int32_t height);
  bool SendPalette();
  bool SendDisplayUpdate(int32_t left, int32_t top, int32_t width, int32_t height,
                         uint32_t streamLength, const uint8_t* stream);

  // Viewer: decodes a received display update into the frame. Returns false
  // (frame unchanged) for updates that do not fit the frame or fail to decode.
  bool ApplyUpdate(const DisplayUpdateMessage& update);
  // Paints the frame under a client rectangle; false when nothing was drawn.
  bool Draw(HDC dc, const Rect& client);
  // Paints the frame under the client rectangle (x, y, width, height) into a
  // device context whose origin stands for client point (x, y): how an
  // annotation highlight draws off-screen. False when nothing was drawn.
  bool DrawAt(HDC dc, int32_t width, int32_t height, int32_t x, int32_t y);

  uint32_t GetToken() const { return token_; }
  void SetToken(uint32_t token) { token_ = token; }
  void SetPalettePending(bool pending) { palettePending_ = pending; }
  const FrameFormat& GetFrameFormat() const { return frameFormat_; }
  const uint8_t* GetFrameBuffer() const { return frameBuffer_; }
  // The last grab, packed bottom-up in the capture format.
  const uint8_t* GetCaptureBuffer() const { return scratch_; }
  void SetCaptureRect(const RECT& r) { captureRect_ = r; }
  void SetScrollPosition(int32_t x, int32_t y) { scrollX_ = x, scrollY_ = y; }
  void SetMargin(int32_t x, int32_t y) { marginX_ = x, marginY_ = y; }
  int32_t GetScrollX() const { return scrollX_; }
  int32_t GetScrollY() const { return scrollY_; }
  int32_t GetMarginX() const { return marginX_; }
  int32_t GetMarginY() const { return marginY_; }

 private:
  bool QueueFullFrame(uint32_t pixels);
  // Grabs rows of the capture area into the bottom of the grab surface.
  bool GrabStrip(int32_t left, int32_t top, int32_t width, int32_t rows);
  void CopyStrip(int32_t width, int32_t rows, uint8_t* packed) const;
  // False when the packed strip equals the frame; otherwise widens
  // `differing` by its first and last differing rows.
  bool WidenByDifferingRows(int32_t left, int32_t top, int32_t width, int32_t rows,
                            const uint8_t* packed, RowSpan* differing) const;
  // Keeps only rows [changed.top, changed.bottom) of the grab and of `clip`.
  void NarrowGrabTo(const RowSpan& changed, Rect* clip);
  bool HoldGrabSurface(int32_t width, int32_t height);
  void ReleaseGrabSurface();
  bool DrawFrameRect(HDC dc, const Rect& frame, int32_t destX, int32_t destY);
  bool ApplyWholeFrame(const uint8_t* stream, uint32_t length);
  // r has passed PlaceUpdate: inside the frame, whole groups of 4 columns.
  bool ApplyPartial(const Rect& r, const uint8_t* stream, uint32_t length);

  EventMgr* owner_ = nullptr;
  HDC screenDC_ = nullptr;
  HDC memoryDC_ = nullptr;
  // The surface grabs land in, one strip at a time: a 24-bit bottom-up DIB
  // section at least as wide as the frame, whose rows are a multiple of 4
  // pixels wide.
  HBITMAP captureBitmap_ = nullptr;
  uint8_t* grabSurfaceBits_ = nullptr;
  int32_t grabSurfaceWidth_ = 0, grabSurfaceHeight_ = 0;
  size_t grabSurfaceStride_ = 0;
  FrameFormat captureFormat_ = {};
  FrameFormat frameFormat_ = {};
  uint8_t* scratch_ = nullptr;
  uint8_t* frameBuffer_ = nullptr;
  uint8_t* work_ = nullptr;
  // Bytes the three buffers hold: a received rectangle is checked against
  // them, whatever the formats say.
  uint32_t scratchBytes_ = 0;
  uint32_t frameBytes_ = 0;
  uint32_t workBytes_ = 0;
  RECT captureRect_ = {};
  int32_t overlapWidth_ = 0, overlapHeight_ = 0;  // saved by SaveOverlap
  int32_t scrollX_ = 0, scrollY_ = 0;
  int32_t marginX_ = 0, marginY_ = 0;
  uint32_t token_ = 0;
  bool palettePending_ = false;
  bool fullFrameOwed_ = false;
};
