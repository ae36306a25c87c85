#pragma once

#include <cstdint>
#include <vector>

#include "compression/CompressionMgr.h"

// StageReplay: the stage codec calls that one real Compress and Decompress
// of a region made, kept so that each stage can be timed on its own by
// making the same calls again through the pipeline's stage table: same
// codec, parameters, input and room, and a stage that declined costs its
// attempt. Owned by the benchmark's frame measurer, on one thread (LZ77
// encoding uses the process-wide match-finder tables).
class StageReplay {
 public:
  // Compresses pixelCount pixels (reference may be null) and decompresses
  // the stream over region, the receiver's content (3 bytes a pixel), while
  // recording every stage call. Returns the stream; empty when the region
  // equals its reference. The reference must outlive the replay.
  std::vector<uint8_t> Record(CompressionMgr& compressor, uint32_t pixelCount, const uint8_t* reference,
                              const uint8_t* pixels, uint8_t* region);

  // Row `stage` of kPipelineStages.
  bool Attempted(int stage) const { return encodes_[stage].made; }
  bool Applied(int stage) const { return encodes_[stage].result != 0; }
  uint32_t InputBytes(int stage) const { return static_cast<uint32_t>(encodes_[stage].input.size()); }
  uint32_t OutputBytes(int stage) const { return encodes_[stage].result; }

  // Makes every recorded encode call again once: whether each gives what
  // the pipeline's call did.
  bool Repeatable();
  // Makes the recorded encode call again. Stages never called do nothing.
  void Encode(int stage);
  // Makes the recorded decode call again and returns its result (0 for a
  // stage not applied). The run-length layer decodes over `region`.
  uint32_t Decode(int stage, uint8_t* region);

 private:
  struct RecordedCall {
    bool made = false;
    StageParams params;
    std::vector<uint8_t> input;
    uint32_t capacity = 0;
    std::vector<uint8_t> output;  // result bytes
    uint32_t result = 0;
  };

  static void Keep(const StageCall& call, RecordedCall& record);
  static uint32_t MakeCall(StageCodec codec, const RecordedCall& call, uint8_t* dst);

  RecordedCall encodes_[kPipelineStageCount];
  RecordedCall decodes_[kPipelineStageCount];
  std::vector<uint8_t> scratch_;  // where calls made again write
};
