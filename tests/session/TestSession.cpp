#include "TestSession.h"

#include <algorithm>

#include "events/MessageBytes.h"

ZKWindow& TestSession() {
  static ZKWindow session;
  return session;
}

void PostPayload(uint32_t type, const std::vector<uint8_t>& payload) {
  Event event = {type, static_cast<uint32_t>(payload.size()),
                 const_cast<uint8_t*>(payload.data())};
  TestSession().PostEvent(&event);
}

void PostDisplayFormat(uint32_t token, uint16_t width, uint16_t height) {
  PostPayload(ZKP_DISPLAYFORMAT, BytesOf(DisplayFormatMessage{token, width, height}));
}

void PostUpdate(uint32_t token, uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                const std::vector<uint8_t>& stream) {
  PostPayload(ZKP_DISPLAYUPDATE,
              BytesOf(DisplayUpdateMessage{token, left, top, width, height,
                                           static_cast<uint32_t>(stream.size()), stream.data()}));
}

void PostRawUpdate(uint32_t token, uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                   const std::vector<uint8_t>& bottomUpPixels) {
  std::vector<uint8_t> stream(1 + bottomUpPixels.size());
  stream[0] = 0;  // no stage: the pixels as they stand
  std::copy(bottomUpPixels.begin(), bottomUpPixels.end(), stream.begin() + 1);
  PostUpdate(token, left, top, width, height, stream);
}

std::vector<uint8_t> ColumnPattern(int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = &pixels[static_cast<size_t>(height - 1 - y) * width * 3];
    for (int x = 0; x < width; ++x) {
      row[x * 3 + 0] = static_cast<uint8_t>(y);
      row[x * 3 + 1] = static_cast<uint8_t>(x);
      row[x * 3 + 2] = static_cast<uint8_t>(x >> 8);
    }
  }
  return pixels;
}

COLORREF Grab::At(int x, int y) const {
  const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
  return RGB(p[2], p[1], p[0]);
}

Grab GrabClient(HWND window) {
  Grab grab;
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  grab.width = client.right;
  grab.height = client.bottom;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, grab.width, grab.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, grab.width, grab.height, screen, origin.x, origin.y, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = grab.width;
  info.bmiHeader.biHeight = -grab.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  int stride = (grab.width * 3 + 3) & ~3;
  std::vector<uint8_t> padded(static_cast<size_t>(stride) * grab.height);
  GetDIBits(memory, bitmap, 0, grab.height, padded.data(), &info, DIB_RGB_COLORS);
  grab.pixels.resize(static_cast<size_t>(grab.width) * grab.height * 3);
  for (int y = 0; y < grab.height; ++y)
    std::copy_n(&padded[static_cast<size_t>(y) * stride], grab.width * 3,
                &grab.pixels[static_cast<size_t>(y) * grab.width * 3]);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return grab;
}
