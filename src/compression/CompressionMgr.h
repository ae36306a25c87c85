#pragma once

#include <cstdint>

#include "compression/CompressionStages.h"
#include "compression/WorkBuffer.h"

// The most bytes any stage writes for a region of regionBytes (3 a pixel).
// Every stage but the run-length one is left out where it would not shrink
// its input, and run-length tokens outgrow their pixels only in tiny regions
// (see RunLengthBound): 256 bytes past the region cover them.
constexpr uint64_t StageOutputBound(uint64_t regionBytes) { return regionBytes + 256; }

// The most bytes a stream of pixelCount pixels takes, stage byte included:
// the size of Compress's output buffer. Compress refuses regions whose
// bound exceeds 32 bits.
constexpr uint64_t CompressBound(uint64_t pixelCount) { return 1 + StageOutputBound(3 * pixelCount); }

// The reference may start this far into Compress's output buffer: the
// run-length encoders' writes trail their reads of it from there on.
constexpr uint32_t kReferenceOffsetInOutput = 256;
static_assert(CompressBound(1) >= kReferenceOffsetInOutput + 3, "the reference fits in the output buffer");

// CompressionMgr owns the stream format of a display update: a stage byte
// followed by the output of the last stage applied. It runs the enabled rows
// of kPipelineStages in order (run-length innermost, then LZ77, then
// Huffman) and undoes them in reverse. Configured once at start-up; Compress
// and Decompress are called on the worker thread only (the LZ77 tables are
// process-wide).
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
  // With a run-length stage, a region equal to its reference makes no stream.
  bool HasRunLengthStage() const { return (stageFlags_ & (STAGE_RLE565 | STAGE_RLE332)) != 0; }

  // Writes the stream of pixelCount pixels (bytesPerPixel is 3) at bitsOut,
  // which holds CompressBound(pixelCount) bytes. reference is what the
  // viewers hold for the same region, or null; it may start
  // kReferenceOffsetInOutput bytes into bitsOut. Returns the stream length,
  // or 0 when the region equals the reference (nothing to send) or on
  // failure. An observer sees each stage's codec call.
  uint32_t Compress(uint32_t bytesPerPixel, uint32_t pixelCount, const uint8_t* reference,
                    const uint8_t* bitsIn, uint8_t* bitsOut, const StageObserver* observer = nullptr);

  // Decodes one received stream of `length` bytes over bitsOut, which holds
  // outLength bytes of the receiver's current content of the region. Returns
  // the bytes covered (at most outLength), or 0 on failure with bitsOut
  // unchanged. The stream is untrusted. An observer sees each stage's codec
  // call.
  uint32_t Decompress(uint32_t length, const uint8_t* bitsIn, uint32_t outLength, uint8_t* bitsOut,
                      const StageObserver* observer = nullptr);

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
