#include <windows.h>

#include "ScreenGrab.h"

bool GrabScreen(int x, int y, int width, int height, Picture* out) {
  if (width <= 0 || height <= 0 || width % 4) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  bool copied = BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY) != FALSE;
  SelectObject(memory, previous);

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the frame layout
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  out->width = static_cast<uint32_t>(width);
  out->height = static_cast<uint32_t>(height);
  out->pixels.resize(out->ByteCount());
  bool read = copied && GetDIBits(memory, bitmap, 0, height, out->pixels.data(), &info,
                                  DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return read;
}
