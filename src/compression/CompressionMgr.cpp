#include "compression/CompressionMgr.h"

#include <cinttypes>
#include <cstring>

#include "common/Clock.h"
#include "common/Trace.h"
#include "compression/HuffmanDecoder.h"
#include "compression/HuffmanEncoder.h"
#include "compression/LZ77Coder.h"
#include "compression/RunLengthCodec.h"
#include "stats/StatStore.h"

namespace {

constexpr uint8_t kRunLengthStages = STAGE_RLE565 | STAGE_RLE332;
// Every stage either shrinks its input or is skipped, and the run-length
// encoders stay under 2 bytes per pixel plus their headers: this much
// headroom past the region's size covers all of them.
constexpr uint32_t kWorkSlack = 256;

struct StageFigures {
  uint32_t in = 0;
  uint32_t out = 0;
  uint32_t ms = 0;
};

}  // namespace

void CompressionMgr::EnableHuffman(bool on) {
  stageFlags_ = on ? (stageFlags_ | STAGE_HUFFMAN) : (stageFlags_ & ~STAGE_HUFFMAN);
}

void CompressionMgr::EnableLZ(bool on) {
  stageFlags_ = on ? (stageFlags_ | STAGE_LZ77) : (stageFlags_ & ~STAGE_LZ77);
}

void CompressionMgr::EnableRLE565(bool on) {
  stageFlags_ = on ? ((stageFlags_ | STAGE_RLE565) & ~STAGE_RLE332)
                   : (stageFlags_ & ~STAGE_RLE565);
}

void CompressionMgr::EnableRLE332(bool on) {
  stageFlags_ = on ? ((stageFlags_ | STAGE_RLE332) & ~STAGE_RLE565)
                   : (stageFlags_ & ~STAGE_RLE332);
}

uint32_t CompressionMgr::Compress(uint32_t bytesPerPixel, uint32_t pixelCount,
                                  const uint8_t* reference, const uint8_t* bitsIn,
                                  uint8_t* bitsOut) {
  if (!bitsIn) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  BitsIn = NULL");
    return 0;
  }
  if (!bitsOut) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  BitsOut = NULL");
    return 0;
  }
  // The decoders always produce 3 bytes per pixel, so nothing else could round-trip.
  if (bytesPerPixel != 3) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  bytesPerPixel = %" PRIu32,
          bytesPerPixel);
    return 0;
  }
  const uint64_t wide = static_cast<uint64_t>(bytesPerPixel) * pixelCount;
  uint8_t* const tbits = wide + kWorkSlack + 1 > UINT32_MAX ? nullptr : work1_.Get(wide + kWorkSlack);
  if (!tbits) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  malloc(%" PRIu64
          "); tbits = NULL", wide + kWorkSlack);
    return 0;
  }
  const uint32_t n = static_cast<uint32_t>(wide);
  uint8_t* const payload = bitsOut + 1;
  uint8_t stage = 0;
  const uint8_t* data = bitsIn;
  uint32_t m = n;
  StageFigures rle, lz77, huffman;

  if (stageFlags_ & kRunLengthStages) {
    const bool deep = (stageFlags_ & STAGE_RLE565) != 0;
    const uint32_t start = TickCountMs();
    const uint32_t r = deep ? RLE565Encode(bytesPerPixel, pixelCount, reference, bitsIn, payload)
                            : RLE332Encode(bytesPerPixel, pixelCount, reference, bitsIn, payload);
    if (r == 0) return 0;  // unchanged: nothing to send, nothing to count
    rle = {n, r, TickCountMs() - start};
    stage = deep ? STAGE_RLE565 : STAGE_RLE332;
    data = payload;
    m = r;
  }
  // The optional stages alternate between the payload and tbits, so at most
  // one copy moves the result into place.
  if (stageFlags_ & STAGE_LZ77) {
    uint8_t* target = data == payload ? tbits : payload;
    LZ77Coder coder;
    coder.SetSearchLimit(lzMaxSearch_);
    const uint32_t start = TickCountMs();
    const uint32_t r = coder.Encode(data, m, target, m);
    if (r != 0) {
      lz77 = {m, r, TickCountMs() - start};
      stage |= STAGE_LZ77;
      data = target;
      m = r;
    }
  }
  if (stageFlags_ & STAGE_HUFFMAN) {
    uint8_t* target = data == payload ? tbits : payload;
    HuffmanEncoder encoder;
    const uint32_t start = TickCountMs();
    const uint32_t r = encoder.Encode(data, m, target, m);
    if (r != 0) {
      huffman = {m, r, TickCountMs() - start};
      stage |= STAGE_HUFFMAN;
      data = target;
      m = r;
    }
  }
  if (data != payload) std::memcpy(payload, data, m);
  bitsOut[0] = stage;

  StatAddRaw(n);
  StatAddRLE(rle.in, rle.out, rle.ms);
  StatAddLZ77(lz77.in, lz77.out, lz77.ms);
  StatAddHuffman(huffman.in, huffman.out, huffman.ms);
  return m + 1;
}

uint32_t CompressionMgr::Decompress(uint32_t length, const uint8_t* bitsIn, uint32_t outLength,
                                    uint8_t* bitsOut) {
  if (!bitsIn) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Decompress Failed!  BitsIn = NULL");
    return 0;
  }
  if (!bitsOut) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Decompress Failed!  BitsOut = NULL");
    return 0;
  }
  if (length == 0) return 0;  // not even a stage byte
  const uint64_t workSize = static_cast<uint64_t>(outLength) + kWorkSlack;
  // Work buffers are taken only for the stages the stream uses: a plain
  // run-length stream decodes straight into bitsOut.
  auto take = [&](WorkBuffer& buffer, const char* name) -> uint8_t* {
    uint8_t* p = buffer.Get(workSize);
    if (!p) {
      Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Decompress Failed!  malloc(%" PRIu64
            "), %s = NULL", workSize, name);
    }
    return p;
  };
  const uint8_t stage = bitsIn[0];
  const uint8_t* data = bitsIn + 1;
  uint32_t m = length - 1;

  // Stages come off from the outside in; any failure leaves bitsOut as it was.
  uint8_t* tbits1 = nullptr;
  if (stage & STAGE_HUFFMAN) {
    uint8_t* target = tbits1 = take(work1_, "tbits1");
    if (!target) return 0;
    HuffmanDecoder decoder;
    m = decoder.Decode(data, m, target, static_cast<uint32_t>(workSize));
    if (m == 0) return 0;
    data = target;
  }
  if (stage & STAGE_LZ77) {
    uint8_t* target = data == tbits1 ? take(work2_, "tbits2") : take(work1_, "tbits1");
    if (!target) return 0;
    m = LZ77Coder::Decode(data, m, target, outLength);
    if (m == 0) return 0;
    data = target;
  }
  if (stage & kRunLengthStages) {
    // The decoders check the whole token stream before writing, so they can
    // work on bitsOut itself, whose pixels the skip tokens keep.
    return (stage & STAGE_RLE565) ? RLE565Decode(data, m, bitsOut, outLength)
                                  : RLE332Decode(data, m, bitsOut, outLength);
  }
  // A raw or Huffman-only payload may claim more than the region holds.
  if (m > outLength) m = outLength;
  std::memcpy(bitsOut, data, m);
  return m;
}

void CompressionMgr::ReleaseWorkBuffers() {
  work1_.Release();
  work2_.Release();
}
