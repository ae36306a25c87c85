#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "session/ZKWindow.h"

// The one session object of a test process (each test case runs in its own
// process), started as the library would start it.
ZKWindow& TestSession();

// Received-event helpers: payloads as a presenter builds them.
void PostDisplayFormat(uint32_t token, uint16_t width, uint16_t height);
void PostUpdate(uint32_t token, uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                const std::vector<uint8_t>& stream);
// A display update whose stream carries raw pixels (no stage applied).
void PostRawUpdate(uint32_t token, uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                   const std::vector<uint8_t>& bottomUpPixels);
void PostPayload(uint32_t type, const std::vector<uint8_t>& payload);

// A test picture: pixel (x, y) is blue = y & 0xFF, green = x & 0xFF, red = x >> 8,
// so a column can be told from a grab. Bottom-up rows, 3 bytes per pixel.
std::vector<uint8_t> ColumnPattern(int width, int height);

// The client area of a window as the screen shows it, top-down, 3 bytes per
// pixel (blue, green, red).
struct Grab {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  COLORREF At(int x, int y) const;
};
Grab GrabClient(HWND window);
