#pragma once

#include <cstdint>
#include <vector>

// PipelineReplica: the compressor's stages run one at a time on one region,
// with the same codec calls, sizes and skip decisions as CompressionMgr, so
// that each stage can be timed on its own. Every stage keeps its own output
// buffer, which makes each stage repeatable in isolation. Used by the
// benchmark on one thread; the LZ77 coder's tables are process-wide.
class PipelineReplica {
 public:
  enum Stage { kRunLength, kLZ77, kHuffman, kStageCount };

  PipelineReplica(uint8_t stageFlags, int32_t lzMaxSearch);

  // Runs every enabled stage once over pixelCount pixels (reference may be
  // null) and keeps the results. The pixel buffers must outlive the replica.
  void Prepare(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels);

  // The region equals its reference: the compressor sends nothing.
  bool Unchanged() const { return unchanged_; }
  // The stream the compressor writes: stage byte, then the last output.
  std::vector<uint8_t> Stream() const;
  bool Attempted(Stage stage) const { return stages_[stage].attempted; }
  bool Applied(Stage stage) const { return stages_[stage].applied; }
  uint32_t InputBytes(Stage stage) const { return stages_[stage].inLength; }
  uint32_t OutputBytes(Stage stage) const { return stages_[stage].outLength; }

  // Repeat one stage exactly as the compressor runs it, on the kept input;
  // a stage that declined costs its attempt. Stages never reached do nothing.
  void Encode(Stage stage);
  // Undo one applied stage exactly as the decompressor does; returns the
  // decoder's result (0: failed). The run-length stage decodes over `region`
  // (3 bytes per pixel of current content).
  uint32_t Decode(Stage stage, uint8_t* region);

 private:
  struct StageData {
    bool attempted = false;  // the compressor ran it, even if it then declined
    bool applied = false;
    const uint8_t* input = nullptr;
    uint32_t inLength = 0;
    std::vector<uint8_t> output;
    uint32_t outLength = 0;
    std::vector<uint8_t> decoded;  // work buffer of the LZ77 and Huffman decoders
  };

  uint32_t EncodeOnce(Stage stage);
  uint8_t StageByte() const;

  uint8_t stageFlags_;
  int32_t lzMaxSearch_;
  uint32_t pixelCount_ = 0;
  const uint8_t* reference_ = nullptr;
  const uint8_t* pixels_ = nullptr;
  bool unchanged_ = false;
  StageData stages_[kStageCount];
};
