#pragma once

#include <cstdint>

// Pixel routines of the frame buffers and the 8-bit colour model. Pictures are
// 24-bit blue-green-red with bottom-up rows; coordinates are top-down. The
// palette table and the histogram are process-wide and unlocked: only the
// worker thread that owns the session window uses them.

// A colour as a 32-bit value holding blue, green and red in its bytes 0, 1
// and 2 (byte 3 is reserved), the order of a palette entry.
inline uint32_t MakeColour(uint8_t blue, uint8_t green, uint8_t red) {
  return static_cast<uint32_t>(blue) | (static_cast<uint32_t>(green) << 8) |
         (static_cast<uint32_t>(red) << 16);
}
inline uint8_t ColourBlue(uint32_t colour) { return static_cast<uint8_t>(colour); }
inline uint8_t ColourGreen(uint32_t colour) { return static_cast<uint8_t>(colour >> 8); }
inline uint8_t ColourRed(uint32_t colour) { return static_cast<uint8_t>(colour >> 16); }

// Copies the w x h rectangle whose top-left corner is (x, y) out of a frame
// of frameWidth x frameHeight pixels into a packed bottom-up picture of width
// w. No clipping: the rectangle must lie inside the frame.
void ExtractRect(uint32_t bytesPerPixel, int32_t frameWidth, int32_t frameHeight,
                 const uint8_t* frame, int32_t x, int32_t y, int32_t w, int32_t h,
                 uint8_t* packed);

// True when the packed w x h picture equals the same rectangle of the frame
// (laid out as for ExtractRect): what a grab is compared with before anything
// is compressed. No clipping: the rectangle must lie inside the frame.
bool RectEquals(uint32_t bytesPerPixel, int32_t frameWidth, int32_t frameHeight,
                const uint8_t* frame, int32_t x, int32_t y, int32_t w, int32_t h,
                const uint8_t* packed);

// The inverse of ExtractRect: writes a packed w x h picture into the frame.
void InsertRect(uint32_t bytesPerPixel, int32_t x, int32_t y, int32_t w, int32_t h,
                const uint8_t* packed, int32_t frameWidth, int32_t frameHeight,
                uint8_t* frame);

// Sets every pixel to the colour; 3 bytes per pixel only.
void FillPixels(uint32_t bytesPerPixel, uint32_t pixelCount, uint32_t colour,
                uint8_t* pixels);

// The 3-3-2 value of a pixel: three bits of red, three of green, two of blue,
// by truncation.
inline uint8_t Quantize332(uint8_t blue, uint8_t green, uint8_t red) {
  return static_cast<uint8_t>((red & 0xE0) | ((green >> 5) << 2) | (blue >> 6));
}

// Quantizes pixelCount 24-bit pixels into one 3-3-2 value each.
void Quantize332(uint32_t pixelCount, const uint8_t* pixels, uint8_t* values);

// The nominal colour of a 3-3-2 value; it quantizes back to the same value.
uint32_t Expand332(uint8_t value);

// Expands 3-3-2 values into 24-bit pixels through the palette table.
void ExpandPalette332(uint32_t pixelCount, const uint8_t* values, uint8_t* pixels);

// Recolours pixels in place through the palette table: each becomes the
// colour of its 3-3-2 value, as a viewer shows 8-bit pictures. `values` is
// scratch of pixelCount bytes.
void RemapThroughPalette(uint32_t pixelCount, uint8_t* pixels, uint8_t* values);

// Bytes of the palette as it travels: 256 entries of blue, green, red and a
// reserved byte.
constexpr uint32_t kPaletteBytes = 256 * 4;

// Computes the palette of a picture: entry v is the mean colour of the pixels
// whose 3-3-2 value is v, or the nominal colour when there are none. Writes
// kPaletteBytes bytes in the order they travel.
void BuildPalette(uint32_t pixelCount, const uint8_t* pixels, uint8_t* entries);

// Replaces the palette table with kPaletteBytes bytes of received entries.
void SetPaletteTable(const uint8_t* entries);

// Fills the palette table with the nominal colour of every value, for
// decoding 8-bit streams where no palette message exists (tools, tests).
void SetNominalPaletteTable();

// The palette table: 256 colours (MakeColour layout), all black at load time.
const uint32_t* PaletteTable();
