#include "StageReplay.h"

#include <algorithm>

void StageReplay::Keep(const StageCall& call, RecordedCall& record) {
  record.made = true;
  record.params = call.params;
  record.input.assign(call.src, call.src + call.n);
  record.capacity = call.capacity;
  record.output.assign(call.dst, call.dst + call.result);
  record.result = call.result;
}

std::vector<uint8_t> StageReplay::Record(CompressionMgr& compressor, uint32_t pixelCount,
                                         const uint8_t* reference, const uint8_t* pixels, uint8_t* region) {
  for (int s = 0; s < kPipelineStageCount; ++s) encodes_[s] = decodes_[s] = RecordedCall();
  auto keepIn = [](RecordedCall* calls) {
    return StageObserver([calls](const StageCall& call) { Keep(call, calls[call.stage - kPipelineStages]); });
  };
  const StageObserver keepEncodes = keepIn(encodes_);
  const StageObserver keepDecodes = keepIn(decodes_);
  std::vector<uint8_t> stream(CompressBound(pixelCount));
  stream.resize(compressor.Compress(3, pixelCount, reference, pixels, stream.data(), &keepEncodes));
  if (!stream.empty()) {
    compressor.Decompress(static_cast<uint32_t>(stream.size()), stream.data(), 3 * pixelCount, region,
                          &keepDecodes);
  }
  uint32_t room = 0;
  for (int s = 0; s < kPipelineStageCount; ++s) {
    room = std::max({room, encodes_[s].capacity, decodes_[s].capacity});
  }
  scratch_.resize(room);
  return stream;
}

uint32_t StageReplay::MakeCall(StageCodec codec, const RecordedCall& call, uint8_t* dst) {
  return codec(call.params, call.input.data(), static_cast<uint32_t>(call.input.size()), dst, call.capacity);
}

bool StageReplay::Repeatable() {
  for (int s = 0; s < kPipelineStageCount; ++s) {
    const RecordedCall& call = encodes_[s];
    if (!call.made) continue;
    const uint32_t result = MakeCall(kPipelineStages[s].encode, call, scratch_.data());
    if (result != call.result || !std::equal(call.output.begin(), call.output.end(), scratch_.begin())) {
      return false;
    }
  }
  return true;
}

void StageReplay::Encode(int stage) {
  if (encodes_[stage].made) MakeCall(kPipelineStages[stage].encode, encodes_[stage], scratch_.data());
}

uint32_t StageReplay::Decode(int stage, uint8_t* region) {
  const RecordedCall& call = decodes_[stage];
  if (!call.made) return 0;
  const PipelineStage& row = kPipelineStages[stage];
  return MakeCall(row.decode, call, row.describesRegion ? region : scratch_.data());
}
