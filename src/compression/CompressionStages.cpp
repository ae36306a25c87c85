#include "compression/CompressionStages.h"

#include <cassert>

#include "compression/HuffmanDecoder.h"
#include "compression/HuffmanEncoder.h"
#include "compression/LZ77Coder.h"
#include "compression/RunLengthCodec.h"
#include "stats/StatStore.h"

namespace {

constexpr uint32_t kPixelBytes = 3;

// n is 3 bytes a pixel, and the pipeline's room is more than the tokens of
// its pixels ever take.
uint32_t EncodeRunLength(const StageParams& params, const uint8_t* src, uint32_t n, uint8_t* dst,
                         [[maybe_unused]] uint32_t capacity) {
  const uint32_t pixelCount = n / kPixelBytes;
  assert(n % kPixelBytes == 0 && RunLengthBound(pixelCount) <= capacity);
  const uint32_t written = (params.stageBits & STAGE_RLE565)
                               ? RLE565Encode(kPixelBytes, pixelCount, params.reference, src, dst)
                               : RLE332Encode(kPixelBytes, pixelCount, params.reference, src, dst);
  assert(written <= RunLengthBound(pixelCount));
  return written;
}

// A stage byte with both depth bits decodes as 5-6-5.
uint32_t DecodeRunLength(const StageParams& params, const uint8_t* src, uint32_t n, uint8_t* dst,
                         uint32_t capacity) {
  return (params.stageBits & STAGE_RLE565) ? RLE565Decode(src, n, dst, capacity)
                                           : RLE332Decode(src, n, dst, capacity);
}

uint32_t EncodeLZ77(const StageParams& params, const uint8_t* src, uint32_t n, uint8_t* dst,
                    uint32_t capacity) {
  LZ77Coder coder;
  coder.SetSearchLimit(params.lzMaxSearch);
  return coder.Encode(src, n, dst, capacity);
}

// What LZ77 reproduces, run-length tokens or raw pixels, is never longer
// than the region, whatever room follows it.
uint32_t DecodeLZ77(const StageParams& params, const uint8_t* src, uint32_t n, uint8_t* dst,
                    [[maybe_unused]] uint32_t capacity) {
  assert(params.regionBytes <= capacity);
  return LZ77Coder::Decode(src, n, dst, params.regionBytes);
}

uint32_t EncodeHuffman(const StageParams&, const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity) {
  HuffmanEncoder encoder;
  return encoder.Encode(src, n, dst, capacity);
}

uint32_t DecodeHuffman(const StageParams&, const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity) {
  HuffmanDecoder decoder;
  return decoder.Decode(src, n, dst, capacity);
}

}  // namespace

const PipelineStage kPipelineStages[kPipelineStageCount] = {
    {"run-length", STAGE_RLE565 | STAGE_RLE332, true, EncodeRunLength, DecodeRunLength, StatAddRLE},
    {"LZ77", STAGE_LZ77, false, EncodeLZ77, DecodeLZ77, StatAddLZ77},
    {"Huffman", STAGE_HUFFMAN, false, EncodeHuffman, DecodeHuffman, StatAddHuffman},
};
