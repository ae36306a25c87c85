#pragma once

#include <cstdint>
#include <functional>

// The stages of a display-update stream as the pipeline drives them: one row
// per layer of the stream, innermost first, each with its bits in the stage
// flags and the stage byte, its encoder and decoder behind one signature,
// and the statistics figures it reports. CompressionMgr runs the rows in
// order to compress and in reverse to decompress; the benchmark repeats the
// calls the pipeline made through the same rows. The table is constant; the
// codecs run on the worker thread (LZ77 encoding uses the process-wide
// match-finder tables).

// Stage bits, with the same values in the stage flags and in a stream's first byte.
enum CompressionStage : uint8_t {
  STAGE_HUFFMAN = 0x01,
  STAGE_RLE565 = 0x02,
  STAGE_RLE332 = 0x04,
  STAGE_LZ77 = 0x08,
};

// What a stage codec needs besides its input and its output.
struct StageParams {
  // Encoding: the stage flags; decoding: the stream's stage byte. The
  // run-length layer takes its pixel depth from them.
  uint8_t stageBits = 0;
  int32_t lzMaxSearch = 32768;         // LZ77 encoding
  const uint8_t* reference = nullptr;  // run-length encoding: the receiver's region, or null
  uint32_t regionBytes = 0;            // decoding: the region's size, 3 bytes a pixel
};

// Codes the n bytes at src into dst, which holds capacity bytes, and returns
// the bytes written. An encoder's 0 means that the stage declines (a layer
// that describes the region: that the region is unchanged); a decoder's 0
// means that the stream is refused.
using StageCodec = uint32_t (*)(const StageParams& params, const uint8_t* src, uint32_t n, uint8_t* dst,
                                uint32_t capacity);

struct PipelineStage {
  const char* name;
  uint8_t bits;  // its stage bit, or the run-length layer's two, one per pixel depth
  // The run-length layer describes the region against the receiver's
  // content: it always applies when enabled, and decodes over the region
  // itself. The other layers recode bytes and are left out of a stream
  // where they would not shrink it.
  bool describesRegion;
  StageCodec encode;
  StageCodec decode;
  void (*report)(uint32_t in, uint32_t out, uint32_t ms);  // its statistics figures
};

constexpr int kPipelineStageCount = 3;
// Run-length, LZ77, Huffman: the order in which Compress applies them.
extern const PipelineStage kPipelineStages[kPipelineStageCount];

// One codec call that Compress or Decompress made, as it returned: enough
// to make the same call again.
struct StageCall {
  const PipelineStage* stage;
  StageParams params;
  const uint8_t* src;
  uint32_t n;
  const uint8_t* dst;  // holds `result` bytes of output, until the pipeline goes on
  uint32_t capacity;
  uint32_t result;
};

// Sees every stage codec call of one Compress or Decompress (benchmarks).
using StageObserver = std::function<void(const StageCall& call)>;
