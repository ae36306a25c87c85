#pragma once

#include <cstdint>

// Run-length codecs: the innermost stage of a display-update stream and the
// only one that knows about pixels. The encoders reduce 24-bit pixels to
// 16-bit 5-6-5 or 8-bit 3-3-2 values and describe a region relative to the
// receiver's current content of it; the decoders write 24-bit pixels over that
// content. Stateless apart from the palette table read by the 3-3-2 decoder;
// called from the worker thread.
//
// Token stream: little-endian u16 control words, each followed by its values.
constexpr uint16_t kRleEnd = 0xC000;      // nothing follows; decoding stops
constexpr uint16_t kRleSkip = 0x4000;     // | n: n pixels keep their content
constexpr uint16_t kRleRun = 0x8000;      // | n, one value: n pixels of it
constexpr uint16_t kRleMaxCount = 16383;  // literal: n, then n values

// Number of leading pixels, at most count, at which a and b agree in all
// bytes.
uint32_t CountEqualPixels(uint32_t bytesPerPixel, uint32_t count, const uint8_t* a,
                          const uint8_t* b);

// The most bytes the encoders write for pixelCount pixels: 2 a pixel, 2 a
// started block of 16383 and 4 more.
constexpr uint64_t RunLengthBound(uint64_t pixelCount) {
  return 2 * pixelCount + 2 * ((pixelCount + kRleMaxCount - 1) / kRleMaxCount) + 4;
}

// Encode pixelCount pixels into tokens at out and return the bytes written,
// end token included; 0 when reference is given and the whole region equals
// it. bytesPerPixel is always 3: pixels are read as 3 bytes each. out needs
// RunLengthBound(pixelCount) bytes. The writes trail the reads, so reference
// may start 255 bytes or more after out.
uint32_t RLE565Encode(uint32_t bytesPerPixel, uint32_t pixelCount, const uint8_t* reference,
                      const uint8_t* pixels, uint8_t* out);
uint32_t RLE332Encode(uint32_t bytesPerPixel, uint32_t pixelCount, const uint8_t* reference,
                      const uint8_t* pixels, uint8_t* out);

// Decode `length` bytes of untrusted tokens over out, which holds capacity
// bytes of the region's current content. Return the bytes of out reached (3
// per pixel written or skipped), or 0 when a token would run past capacity
// or the tokens end before the end token and before the region is full; the
// failure is reported with the input (see DecodeFailureReporter.h) and out
// is left untouched, as the tokens are checked whole before any is applied.
uint32_t RLE565Decode(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity);
uint32_t RLE332Decode(const uint8_t* tokens, uint32_t length, uint8_t* out, uint32_t capacity);
