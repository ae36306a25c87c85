#pragma once

#include <cstdint>

#include "compression/WorkBuffer.h"

// Stage bits, with the same values in the stage flags and in a stream's first byte.
enum CompressionStage : uint8_t {
  STAGE_HUFFMAN = 0x01,
  STAGE_RLE565 = 0x02,
  STAGE_RLE332 = 0x04,
  STAGE_LZ77 = 0x08,
};

// CompressionMgr owns the stream format of a display update: a stage byte
// followed by the output of the last stage applied (run-length innermost, then
// LZ77, then Huffman). Configured once at start-up; Compress and Decompress
// are called on the worker thread only (the LZ77 tables are process-wide).
class CompressionMgr {
 public:
  CompressionMgr() = default;

  void EnableHuffman(bool on);
  void EnableLZ(bool on);
  void EnableRLE565(bool on);  // true also clears the 3-3-2 stage
  void EnableRLE332(bool on);  // true also clears the 5-6-5 stage
  void SetLZMaxSearch(int32_t limit) { lzMaxSearch_ = limit; }

  uint8_t GetStageFlags() const { return stageFlags_; }
  int32_t GetLZMaxSearch() const { return lzMaxSearch_; }
  // 8-bit mode: the presenter sends palettes and 3-3-2 pixels.
  bool Is8BitMode() const { return (stageFlags_ & STAGE_RLE332) != 0; }

  // Writes the stream of pixelCount pixels (bytesPerPixel is 3) at bitsOut,
  // which holds at least 1 + 3 * pixelCount + 256 bytes. reference is what
  // the viewers hold for the same region, or null; it may start 256 bytes
  // into bitsOut. Returns the stream length, or 0 when the region equals the
  // reference (nothing to send) or on failure.
  uint32_t Compress(uint32_t bytesPerPixel, uint32_t pixelCount, const uint8_t* reference,
                    const uint8_t* bitsIn, uint8_t* bitsOut);

  // Decodes one received stream of `length` bytes over bitsOut, which holds
  // outLength bytes of the receiver's current content of the region. Returns
  // the bytes covered (at most outLength), or 0 on failure with bitsOut
  // unchanged. The stream is untrusted.
  uint32_t Decompress(uint32_t length, const uint8_t* bitsIn, uint32_t outLength,
                      uint8_t* bitsOut);

  // Gives back the intermediate buffers, which are as large as the largest
  // region seen; the next Compress or Decompress takes them again.
  void ReleaseWorkBuffers();

 private:
  uint8_t stageFlags_ = 0;
  int32_t lzMaxSearch_ = 32768;
  // Intermediate stage outputs, kept between calls.
  WorkBuffer work1_;
  WorkBuffer work2_;
};
