#include "frames/FrameMgr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/Trace.h"
#include "frames/PictureBounds.h"
#include "frames/PixelRoutines.h"

namespace {
constexpr uint32_t kSpareBytes = kPictureSpareBytes;
// Grabs go in strips of about this many bytes, which stay in the cache
// between the copy out of the grab surface and the comparison with the frame.
constexpr size_t kStripBytes = 512 * 1024;
constexpr size_t kMinStripRows = 16;
// Grows or shrinks a buffer to `bytes`; on failure the old buffer stays.
bool Resize(uint8_t** buffer, uint32_t* capacity, uint32_t bytes) {
  void* resized = std::realloc(*buffer, bytes);
  if (!resized) return false;
  *buffer = static_cast<uint8_t*>(resized);
  *capacity = bytes;
  return true;
}

void FreeAndForget(uint8_t** buffer, uint32_t* capacity) {
  std::free(*buffer);
  *buffer = nullptr;
  *capacity = 0;
}
}  // namespace

void FrameFormat::Set(int32_t width, int32_t height) {
  std::memset(this, 0, sizeof *this);
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = PictureWidth(width);
  header.biHeight = PictureHeight(height);
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(header.biWidth) * header.biHeight * 3;
  bytesPerPixel = 3;
}

bool FrameMgr::Init(EventMgr* owner) {
  owner_ = owner;
  scrollX_ = scrollY_ = marginX_ = marginY_ = 0;
  token_ = 0;
  captureFormat_.Set(0, 0);
  frameFormat_.Set(0, 0);
  screenDC_ = GetDC(nullptr);
  if (!screenDC_) return false;
  memoryDC_ = CreateCompatibleDC(screenDC_);
  if (!memoryDC_) return false;
  return (GetDeviceCaps(screenDC_, RASTERCAPS) & RC_BITBLT) &&
         (GetDeviceCaps(memoryDC_, RASTERCAPS) & RC_DI_BITMAP);
}

void FrameMgr::Release() {
  if (screenDC_) {
    ReleaseDC(nullptr, screenDC_);
    screenDC_ = nullptr;
  }
  if (memoryDC_) {
    DeleteDC(memoryDC_);
    memoryDC_ = nullptr;
  }
  ReleaseGrabSurface();
  FreeAndForget(&scratch_, &scratchBytes_);
  FreeAndForget(&frameBuffer_, &frameBytes_);
  FreeAndForget(&work_, &workBytes_);
  ReleaseWorkBuffers();
  captureFormat_.Set(0, 0);
  frameFormat_.Set(0, 0);
}

bool FrameMgr::SetFrameFormat(int32_t width, int32_t height) {
  if (!PictureFitsInMemory(width, height)) {
    Trace(TRACE_WARNING, "\r\nFrameMgr: refusing a frame of %d x %d", static_cast<int>(width),
          static_cast<int>(height));
    return false;
  }
  // The compressor's buffers were sized for the old format; a larger one
  // would otherwise have them as well as its own.
  ReleaseWorkBuffers();
  FrameFormat format;
  format.Set(width, height);
  if (!Resize(&frameBuffer_, &frameBytes_, format.ImageSize() + kSpareBytes)) return false;
  frameFormat_ = format;
  FillFrameGrey();
  return true;
}

void FrameMgr::FillFrameGrey() {
  if (frameBuffer_) FillPixels(3, frameFormat_.PixelCount(), kBlankPictureColour, frameBuffer_);
}

void FrameMgr::SetCaptureFormat(int32_t width, int32_t height) {
  if (!PictureFitsInMemory(width, height)) return;
  FrameFormat format;
  format.Set(width, height);
  uint32_t bytes = format.ImageSize() + kSpareBytes;
  if (Resize(&scratch_, &scratchBytes_, bytes) && Resize(&work_, &workBytes_, bytes))
    captureFormat_ = format;
}

bool FrameMgr::Grab(int32_t left, int32_t top, int32_t right, int32_t bottom,
                    RowSpan* changed) {
  GdiFlush();
  captureFormat_.Set(right - left, bottom - top);
  if (changed) *changed = RowSpan{top, bottom};
  if (captureFormat_.ImageSize() > scratchBytes_) return false;
  if (captureFormat_.PixelCount() == 0) return true;

  const int32_t width = captureFormat_.Width(), height = captureFormat_.Height();
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const int32_t stripRows =
      static_cast<int32_t>(std::max<size_t>(kStripBytes / rowBytes, kMinStripRows));
  if (!HoldGrabSurface(width, std::min(height, stripRows))) return false;
  const bool compare = changed && frameBuffer_ && left + width <= frameFormat_.Width() &&
                       top + height <= frameFormat_.Height();
  // Strip by strip, each compared with the frame while it is still in the
  // cache: a large rectangle costs half as much as in one piece. A strip as
  // wide as the surface lies packed in it and is compared there; one equal
  // to the frame is not copied (the frame has its pixels).
  const bool comparedInSurface = compare && grabSurfaceStride_ == rowBytes;
  RowSpan differing{bottom, top};  // empty until a row differs
  std::vector<RowSpan> notCopied;
  for (int32_t stripTop = top; stripTop < bottom; stripTop += stripRows) {
    const int32_t rows = std::min(stripRows, bottom - stripTop);
    // Bottom-up: the rectangle's lower rows come first in the scratch buffer.
    uint8_t* packed = scratch_ + static_cast<size_t>(bottom - stripTop - rows) * rowBytes;
    if (!GrabStrip(left, stripTop, width, rows)) return false;
    if (comparedInSurface) {
      if (WidenByDifferingRows(left, stripTop, width, rows, grabSurfaceBits_, &differing))
        CopyStrip(width, rows, packed);
      else
        notCopied.push_back(RowSpan{stripTop, stripTop + rows});
      continue;
    }
    CopyStrip(width, rows, packed);
    if (compare) WidenByDifferingRows(left, stripTop, width, rows, packed, &differing);
  }
  if (!compare) return true;
  if (differing.top >= differing.bottom) {
    *changed = RowSpan{top, top};
    return true;
  }
  *changed = differing;
  // The rows between the first and the last that changed are all wanted.
  for (const RowSpan& strip : notCopied)
    ExtractRect(3, frameFormat_.Width(), frameFormat_.Height(), frameBuffer_, left, strip.top,
                width, strip.bottom - strip.top,
                scratch_ + static_cast<size_t>(bottom - strip.bottom) * rowBytes);
  return true;
}

bool FrameMgr::WidenByDifferingRows(int32_t left, int32_t top, int32_t width, int32_t rows,
                                    const uint8_t* packed, RowSpan* differing) const {
  const int32_t frameWidth = frameFormat_.Width(), frameHeight = frameFormat_.Height();
  if (RectEquals(3, frameWidth, frameHeight, frameBuffer_, left, top, width, rows, packed))
    return false;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // Row y of the strip (from its top) is packed row rows - 1 - y.
  auto rowDiffers = [&](int32_t y) {
    return !RectEquals(3, frameWidth, frameHeight, frameBuffer_, left, top + y, width, 1,
                       packed + static_cast<size_t>(rows - 1 - y) * rowBytes);
  };
  int32_t first = 0, last = rows - 1;
  while (!rowDiffers(first)) ++first;
  while (!rowDiffers(last)) --last;
  differing->top = std::min(differing->top, top + first);
  differing->bottom = std::max(differing->bottom, top + last + 1);
  return true;
}

bool FrameMgr::GrabStrip(int32_t left, int32_t top, int32_t width, int32_t rows) {
  HGDIOBJ previous = SelectObject(memoryDC_, captureBitmap_);
  if (!previous) return false;
  // The strip goes to the bottom rows of the bottom-up surface, which come
  // first in its memory, in the order the scratch buffer wants them.
  const int32_t y = grabSurfaceHeight_ - rows;
  // Whatever the screen cannot supply stays grey.
  RECT area = {0, y, width, grabSurfaceHeight_};
  FillRect(memoryDC_, &area, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  BOOL copied = BitBlt(memoryDC_, 0, y, width, rows, screenDC_, captureRect_.left + left,
                       captureRect_.top + top, SRCCOPY);
  SelectObject(memoryDC_, previous);
  if (!copied) return false;
  GdiFlush();
  return true;
}

void FrameMgr::CopyStrip(int32_t width, int32_t rows, uint8_t* packed) const {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (int32_t row = 0; row < rows; ++row)
    std::memcpy(packed + row * rowBytes, grabSurfaceBits_ + row * grabSurfaceStride_, rowBytes);
}

bool FrameMgr::HoldGrabSurface(int32_t width, int32_t height) {
  // Kept from grab to grab: a new bitmap for every band costs an allocation
  // of its size and a conversion pass more than the copy itself.
  if (captureBitmap_ && width <= grabSurfaceWidth_ && height <= grabSurfaceHeight_) return true;
  ReleaseGrabSurface();
  FrameFormat surface;
  surface.Set(std::max(width, frameFormat_.Width()), height);
  void* bits = nullptr;
  captureBitmap_ = CreateDIBSection(memoryDC_, surface.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!captureBitmap_) return false;
  grabSurfaceBits_ = static_cast<uint8_t*>(bits);
  grabSurfaceWidth_ = surface.Width();
  grabSurfaceHeight_ = surface.Height();
  grabSurfaceStride_ = static_cast<size_t>(grabSurfaceWidth_) * 3;
  return true;
}

void FrameMgr::ReleaseGrabSurface() {
  if (captureBitmap_) DeleteObject(captureBitmap_);
  captureBitmap_ = nullptr;
  grabSurfaceBits_ = nullptr;
  grabSurfaceWidth_ = grabSurfaceHeight_ = 0;
  grabSurfaceStride_ = 0;
}

void FrameMgr::SaveOverlap(int32_t width, int32_t height) {
  if (captureFormat_.Width() < frameFormat_.Width() ||
      captureFormat_.Height() < frameFormat_.Height())
    captureFormat_.Set(frameFormat_.Width(), frameFormat_.Height());
  const PictureOverlap overlap =
      KeptOverlap(frameFormat_.Width(), frameFormat_.Height(), width, height);
  overlapWidth_ = overlap.width;
  overlapHeight_ = overlap.height;
  uint32_t bytes = static_cast<uint32_t>(overlapWidth_) * overlapHeight_ * 3;
  if (!frameBuffer_ || bytes == 0 ||
      (bytes > scratchBytes_ && !Resize(&scratch_, &scratchBytes_, bytes + kSpareBytes))) {
    overlapWidth_ = overlapHeight_ = 0;
    return;
  }
  ExtractRect(3, frameFormat_.Width(), frameFormat_.Height(), frameBuffer_, 0, 0, overlapWidth_,
              overlapHeight_, scratch_);
}

void FrameMgr::RestoreOverlap(int32_t width, int32_t height) {
  (void)width;
  (void)height;  // the overlap was measured when it was saved
  if (overlapWidth_ > frameFormat_.Width() || overlapHeight_ > frameFormat_.Height()) return;
  if (overlapWidth_ > 0 && overlapHeight_ > 0)
    InsertRect(3, 0, 0, overlapWidth_, overlapHeight_, scratch_, frameFormat_.Width(),
               frameFormat_.Height(), frameBuffer_);
}

bool FrameMgr::ChangeFrameSize(int32_t width, int32_t height) {
  if (!PictureFitsInMemory(width, height)) return false;
  SaveOverlap(width, height);
  if (!SetFrameFormat(width, height)) return false;
  RestoreOverlap(width, height);
  SetCaptureFormat(width, height);
  return true;
}

void FrameMgr::RemapPalette() {
  if (!frameBuffer_) return;
  uint32_t pixels = frameFormat_.PixelCount();
  if (pixels > workBytes_ && !Resize(&work_, &workBytes_, pixels + kSpareBytes)) return;
  RemapThroughPalette(pixels, frameBuffer_, work_);
}

void FrameMgr::FrameToClient(Rect* r) const {
  int32_t dx = marginX_ - scrollX_, dy = marginY_ - scrollY_;
  *r = Rect{r->left + dx, r->top + dy, r->right + dx, r->bottom + dy};
}

void FrameMgr::ClientToFrame(Rect* r) const {
  int32_t dx = scrollX_ - marginX_, dy = scrollY_ - marginY_;
  *r = Rect{r->left + dx, r->top + dy, r->right + dx, r->bottom + dy};
}
