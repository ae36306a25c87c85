#include "compression/CompressionMgr.h"

#include <cinttypes>
#include <cstring>

#include "common/Clock.h"
#include "common/Trace.h"
#include "stats/StatStore.h"

namespace {

struct StageFigures {
  uint32_t in = 0;
  uint32_t out = 0;
  uint32_t ms = 0;
};

// Whether both buffers are there; a missing one is traced as `function`'s
// failure.
bool BuffersGiven(const char* function, const uint8_t* bitsIn, const uint8_t* bitsOut) {
  const char* missing = !bitsIn ? "BitsIn" : !bitsOut ? "BitsOut" : nullptr;
  if (missing) Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::%s Failed!  %s = NULL", function, missing);
  return missing == nullptr;
}

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
                                  uint8_t* bitsOut, const StageObserver* observer) {
  if (!BuffersGiven("Compress", bitsIn, bitsOut)) return 0;
  // The decoders always produce 3 bytes per pixel, so nothing else could round-trip.
  if (bytesPerPixel != 3) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  bytesPerPixel = %" PRIu32,
          bytesPerPixel);
    return 0;
  }
  const uint64_t room = StageOutputBound(uint64_t{bytesPerPixel} * pixelCount);
  uint8_t* const tbits = CompressBound(pixelCount) > UINT32_MAX ? nullptr : work1_.Get(room);
  if (!tbits) {
    Trace(TRACE_COMPRESSION, "\r\nCompressionMgr::Compress Failed!  malloc(%" PRIu64
          "); tbits = NULL", room);
    return 0;
  }
  const uint32_t n = bytesPerPixel * pixelCount;
  uint8_t* const payload = bitsOut + 1;
  const StageParams params{stageFlags_, lzMaxSearch_, reference, 0};
  uint8_t applied = 0;
  const uint8_t* data = bitsIn;
  uint32_t m = n;
  StageFigures figures[kPipelineStageCount];

  for (int k = 0; k < kPipelineStageCount; ++k) {
    const PipelineStage& stage = kPipelineStages[k];
    if ((stageFlags_ & stage.bits) == 0) continue;
    // The stages alternate between the payload and tbits, so at most one
    // copy moves the result into place. A stage left out where it would not
    // shrink its input gets the input's size as its room.
    uint8_t* const target = data == payload ? tbits : payload;
    const uint32_t capacity = stage.describesRegion ? static_cast<uint32_t>(room) : m;
    const uint32_t start = TickCountMs();
    const uint32_t r = stage.encode(params, data, m, target, capacity);
    if (r != 0) figures[k] = {m, r, TickCountMs() - start};
    if (observer) (*observer)(StageCall{&stage, params, data, m, target, capacity, r});
    if (r == 0) {
      if (stage.describesRegion) return 0;  // unchanged: nothing to send, nothing to count
      continue;
    }
    applied |= stageFlags_ & stage.bits;
    data = target;
    m = r;
  }
  if (data != payload) std::memcpy(payload, data, m);
  bitsOut[0] = applied;

  StatAddRaw(n);
  for (int k = 0; k < kPipelineStageCount; ++k) {
    kPipelineStages[k].report(figures[k].in, figures[k].out, figures[k].ms);
  }
  return m + 1;
}

uint32_t CompressionMgr::Decompress(uint32_t length, const uint8_t* bitsIn, uint32_t outLength,
                                    uint8_t* bitsOut, const StageObserver* observer) {
  if (!BuffersGiven("Decompress", bitsIn, bitsOut)) return 0;
  if (length == 0) return 0;  // not even a stage byte
  const uint64_t workSize = StageOutputBound(outLength);
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
  const StageParams params{bitsIn[0], 0, nullptr, outLength};
  const uint8_t* data = bitsIn + 1;
  uint32_t m = length - 1;

  // Stages come off from the outside in; any failure leaves bitsOut as it was.
  uint8_t* tbits1 = nullptr;
  for (int k = kPipelineStageCount - 1; k >= 0; --k) {
    const PipelineStage& stage = kPipelineStages[k];
    if ((params.stageBits & stage.bits) == 0) continue;
    // The run-length decoders check the whole token stream before writing,
    // so they work on bitsOut itself, whose pixels the skip tokens keep.
    uint8_t* target = stage.describesRegion ? bitsOut
                      : data == tbits1      ? take(work2_, "tbits2")
                                            : (tbits1 = take(work1_, "tbits1"));
    if (!target) return 0;
    const uint32_t capacity = stage.describesRegion ? outLength : static_cast<uint32_t>(workSize);
    const uint32_t r = stage.decode(params, data, m, target, capacity);
    if (observer) (*observer)(StageCall{&stage, params, data, m, target, capacity, r});
    if (r == 0 || stage.describesRegion) return r;  // the region layer is the innermost
    data = target;
    m = r;
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
