#include "PipelineReplica.h"

#include <algorithm>

#include "compression/CompressionMgr.h"
#include "compression/HuffmanDecoder.h"
#include "compression/HuffmanEncoder.h"
#include "compression/LZ77Coder.h"
#include "compression/RunLengthCodec.h"

namespace {

constexpr uint8_t kRunLengthStages = STAGE_RLE565 | STAGE_RLE332;
// The decompressor's work buffers are the region plus this much.
constexpr uint32_t kWorkSlack = 256;

}  // namespace

PipelineReplica::PipelineReplica(uint8_t stageFlags, int32_t lzMaxSearch)
    : stageFlags_(stageFlags), lzMaxSearch_(lzMaxSearch) {}

void PipelineReplica::Prepare(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels) {
  pixelCount_ = pixelCount;
  reference_ = reference;
  pixels_ = pixels;
  unchanged_ = false;
  for (StageData& stage : stages_) stage = StageData();

  const uint32_t rawBytes = 3 * pixelCount;
  const uint8_t* data = pixels;
  uint32_t length = rawBytes;
  // Stage numbers follow the order in which the compressor applies them.
  const uint8_t bits[kStageCount] = {kRunLengthStages, STAGE_LZ77, STAGE_HUFFMAN};
  for (int i = 0; i < kStageCount; ++i) {
    if ((stageFlags_ & bits[i]) == 0) continue;
    const Stage id = static_cast<Stage>(i);
    StageData& stage = stages_[id];
    stage.attempted = true;
    stage.input = data;
    stage.inLength = length;
    // The run-length encoder writes where the compressor's output buffer
    // starts; the optional stages get exactly their input's size.
    stage.output.resize(id == kRunLength ? rawBytes + kWorkSlack : std::max<uint32_t>(length, 1));
    stage.outLength = EncodeOnce(id);
    if (stage.outLength == 0) {
      if (id == kRunLength) {
        unchanged_ = true;
        return;
      }
      continue;
    }
    stage.applied = true;
    if (id != kRunLength) stage.decoded.resize(rawBytes + kWorkSlack);
    data = stage.output.data();
    length = stage.outLength;
  }
}

uint32_t PipelineReplica::EncodeOnce(Stage stage) {
  StageData& data = stages_[stage];
  switch (stage) {
    case kRunLength:
      return (stageFlags_ & STAGE_RLE565) != 0
                 ? RLE565Encode(3, pixelCount_, reference_, pixels_, data.output.data())
                 : RLE332Encode(3, pixelCount_, reference_, pixels_, data.output.data());
    case kLZ77: {
      LZ77Coder coder;
      coder.SetSearchLimit(lzMaxSearch_);
      return coder.Encode(data.input, data.inLength, data.output.data(), data.inLength);
    }
    case kHuffman: {
      HuffmanEncoder encoder;
      return encoder.Encode(data.input, data.inLength, data.output.data(), data.inLength);
    }
    case kStageCount:
      break;
  }
  return 0;
}

void PipelineReplica::Encode(Stage stage) {
  if (stages_[stage].attempted) EncodeOnce(stage);
}

uint32_t PipelineReplica::Decode(Stage stage, uint8_t* region) {
  StageData& data = stages_[stage];
  if (!data.applied) return 0;
  const uint32_t rawBytes = 3 * pixelCount_;
  switch (stage) {
    case kHuffman: {
      HuffmanDecoder decoder;
      return decoder.Decode(data.output.data(), data.outLength, data.decoded.data(), rawBytes + kWorkSlack);
    }
    case kLZ77:
      return LZ77Coder::Decode(data.output.data(), data.outLength, data.decoded.data(), rawBytes);
    case kRunLength:
      // The run-length decoders check the whole token stream before writing,
      // so the decompressor lets them work on the region itself.
      return (stageFlags_ & STAGE_RLE565) != 0 ? RLE565Decode(data.output.data(), data.outLength, region, rawBytes)
                                               : RLE332Decode(data.output.data(), data.outLength, region, rawBytes);
    case kStageCount:
      break;
  }
  return 0;
}

uint8_t PipelineReplica::StageByte() const {
  uint8_t stageByte = 0;
  if (stages_[kRunLength].applied) stageByte |= stageFlags_ & kRunLengthStages;
  if (stages_[kLZ77].applied) stageByte |= STAGE_LZ77;
  if (stages_[kHuffman].applied) stageByte |= STAGE_HUFFMAN;
  return stageByte;
}

std::vector<uint8_t> PipelineReplica::Stream() const {
  std::vector<uint8_t> stream;
  if (unchanged_) return stream;
  stream.push_back(StageByte());
  const uint8_t* payload = pixels_;
  uint32_t length = 3 * pixelCount_;
  for (const StageData& stage : stages_) {
    if (!stage.applied) continue;
    payload = stage.output.data();
    length = stage.outLength;
  }
  stream.insert(stream.end(), payload, payload + length);
  return stream;
}
