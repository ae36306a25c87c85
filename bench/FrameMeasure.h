#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BaselineCodecs.h"
#include "compression/CompressionMgr.h"
#include "Timing.h"

// One picture to measure: a still, a sequence frame compressed against the
// frame before it, or a synthetic pattern. Pixels are in the frame layout.
struct FrameJob {
  std::string label;
  std::string kind;  // "still", "sequence" or "pattern"
  uint32_t width = 0;
  uint32_t height = 0;
  const uint8_t* pixels = nullptr;
  const uint8_t* reference = nullptr;  // the frame before, or null
};

struct MeasureSettings {
  uint8_t stageFlags = 0x0B;
  int32_t lzMaxSearch = 32768;
  uint32_t bands = 1;         // horizontal bands compressed separately
  bool stageTimes = true;     // also time each pipeline stage on its own
  TimingPolicy timing;
};

struct CodecFigures {
  std::string name;
  uint64_t compressedBytes = 0;
  double encodeSeconds = 0;
  double decodeSeconds = 0;
  bool verified = true;  // decoding gave back what was encoded
};

struct StageFigures {
  bool attempted = false;
  uint32_t appliedBands = 0;
  uint64_t inBytes = 0;   // over the bands where the stage applied
  uint64_t outBytes = 0;
  double encodeSeconds = 0;  // attempts included
  double decodeSeconds = 0;
};

struct FrameFigures {
  std::string label;
  std::string kind;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bands = 1;
  bool hasReference = false;
  uint64_t rawBytes = 0;
  CodecFigures pipeline;  // CompressionMgr::Compress and Decompress
  bool stagesMeasured = false;
  bool replayMatches = true;  // the stage calls, made again, gave what the pipeline's did
  StageFigures stages[kPipelineStageCount];  // by row of kPipelineStages
  std::vector<CodecFigures> baselines;  // zlib, zstd, lz4; XOR with the reference

  const CodecFigures* Find(const std::string& name) const;
};

// Every codec decoded what it encoded and the stage replay matched.
bool FrameVerified(const FrameFigures& figures);

// A horizontal band of a frame: rows lie contiguously in the bottom-up layout.
struct BandSpan {
  size_t offset = 0;  // bytes from the start of the frame
  uint32_t pixelCount = 0;
};

// height / bands rows each, the last band taking the remainder.
std::vector<BandSpan> SplitIntoBands(uint32_t width, uint32_t height, uint32_t bands);

// FrameMeasurer: measures the pipeline and the baselines on one frame after
// another with one group of settings. Owns the baseline codecs' contexts.
// Single-threaded (the LZ77 tables are process-wide).
class FrameMeasurer {
 public:
  explicit FrameMeasurer(const MeasureSettings& settings);
  FrameFigures Measure(const FrameJob& job);

 private:
  // What the pipeline's decodes write: the receiver's region and, per band,
  // the bytes reached.
  struct PipelineBuffers {
    PipelineBuffers(const FrameJob& job, const std::vector<BandSpan>& bands, uint64_t rawBytes);
    std::vector<uint8_t> region;
    std::vector<uint32_t> covered;
  };
  // A baseline's streams and what decoding them gave, per band.
  struct BaselineBuffers {
    void Allocate(const BaselineCodec& codec, const std::vector<BandSpan>& bands, uint64_t rawBytes);
    std::vector<std::vector<uint8_t>> outputs;
    std::vector<size_t> lengths;
    std::vector<uint8_t> decoded;
    std::vector<size_t> produced;
  };

  std::function<void()> PipelineEncode(CompressionMgr& compressor, const FrameJob& job,
                                       const std::vector<BandSpan>& bands);
  std::function<void()> PipelineDecode(CompressionMgr& compressor, const std::vector<BandSpan>& bands,
                                       PipelineBuffers& ours);
  CodecFigures CheckPipeline(const FrameJob& job, const std::vector<BandSpan>& bands, const PipelineBuffers& ours,
                             uint64_t rawBytes) const;
  static std::function<void()> BaselineEncode(BaselineCodec& codec, const uint8_t* input,
                                              const std::vector<BandSpan>& bands, BaselineBuffers& buffers);
  static std::function<void()> BaselineDecode(BaselineCodec& codec, const std::vector<BandSpan>& bands,
                                              BaselineBuffers& buffers);
  static void CheckBaseline(const uint8_t* input, const std::vector<BandSpan>& bands,
                            const BaselineBuffers& buffers, CodecFigures& result);
  void MeasureStages(CompressionMgr& compressor, const FrameJob& job, const std::vector<BandSpan>& bands,
                     FrameFigures& figures);

  MeasureSettings settings_;
  std::vector<std::unique_ptr<BaselineCodec>> baselines_;
  // The streams of the last pipeline measurement, one per band.
  std::vector<std::vector<uint8_t>> streams_;
  std::vector<uint32_t> streamLengths_;
};
