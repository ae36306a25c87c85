#include "FrameMeasure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CompressorSetup.h"
#include "StageReplay.h"
#include "compression/CompressionMgr.h"
#include "frames/PixelRoutines.h"

namespace {

constexpr uint8_t kFrameGrey = 0x80;

// What the receiver holds before the frame arrives: the reference, or the
// grey of a fresh frame.
std::vector<uint8_t> InitialRegion(const FrameJob& job, size_t bytes) {
  if (job.reference != nullptr) return std::vector<uint8_t>(job.reference, job.reference + bytes);
  return std::vector<uint8_t>(bytes, kFrameGrey);
}

// The run-length stages are lossy: a decoded pixel is right when it is the
// source pixel or what the stage's pixel depth makes of it.
bool DecodedAsExpected(uint8_t stageFlags, const uint8_t* source, const uint8_t* decoded, size_t pixelCount) {
  for (size_t i = 0; i < pixelCount; ++i, source += 3, decoded += 3) {
    if (std::memcmp(source, decoded, 3) == 0) continue;
    uint8_t expected[3];
    if ((stageFlags & STAGE_RLE565) != 0) {
      expected[0] = source[0] & 0xF8;
      expected[1] = source[1] & 0xFC;
      expected[2] = source[2] & 0xF8;
    } else if ((stageFlags & STAGE_RLE332) != 0) {
      const uint32_t colour = PaletteTable()[Quantize332(source[0], source[1], source[2])];
      expected[0] = ColourBlue(colour);
      expected[1] = ColourGreen(colour);
      expected[2] = ColourRed(colour);
    } else {
      return false;
    }
    if (std::memcmp(expected, decoded, 3) != 0) return false;
  }
  return true;
}

bool BandUnchanged(const FrameJob& job, const BandSpan& band) {
  return job.reference != nullptr &&
         std::memcmp(job.pixels + band.offset, job.reference + band.offset, 3 * size_t{band.pixelCount}) == 0;
}

}  // namespace

const CodecFigures* FrameFigures::Find(const std::string& name) const {
  if (name == pipeline.name) return &pipeline;
  for (const CodecFigures& codec : baselines) {
    if (name == codec.name) return &codec;
  }
  return nullptr;
}

bool FrameVerified(const FrameFigures& figures) {
  bool verified = figures.pipeline.verified && figures.replayMatches;
  for (const CodecFigures& codec : figures.baselines) verified = verified && codec.verified;
  return verified;
}

std::vector<BandSpan> SplitIntoBands(uint32_t width, uint32_t height, uint32_t bands) {
  std::vector<BandSpan> spans;
  if (height == 0) return spans;
  if (bands == 0 || bands > height) bands = bands == 0 ? 1 : height;
  const uint32_t rowsPerBand = height / bands;
  for (uint32_t band = 0; band < bands; ++band) {
    const uint32_t top = band * rowsPerBand;
    const uint32_t bottom = band + 1 == bands ? height : top + rowsPerBand;
    BandSpan span;
    // Bottom-up rows: the band's lowest row comes first in memory.
    span.offset = static_cast<size_t>(height - bottom) * width * 3;
    span.pixelCount = (bottom - top) * width;
    spans.push_back(span);
  }
  return spans;
}

FrameMeasurer::FrameMeasurer(const MeasureSettings& settings)
    : settings_(settings), baselines_(MakeBaselineCodecs()) {
  if ((settings_.stageFlags & STAGE_RLE332) != 0) SetNominalPaletteTable();
}

FrameFigures FrameMeasurer::Measure(const FrameJob& job) {
  FrameFigures figures;
  figures.label = job.label;
  figures.kind = job.kind;
  figures.width = job.width;
  figures.height = job.height;
  figures.hasReference = job.reference != nullptr;
  figures.rawBytes = uint64_t{job.width} * job.height * 3;
  const std::vector<BandSpan> bands = SplitIntoBands(job.width, job.height, settings_.bands);
  figures.bands = static_cast<uint32_t>(bands.size());

  // The general-purpose coders see what changed as the XOR of the two frames.
  std::vector<uint8_t> delta;
  const uint8_t* input = job.pixels;
  if (job.reference != nullptr) {
    delta.resize(figures.rawBytes);
    for (size_t i = 0; i < delta.size(); ++i) delta[i] = job.pixels[i] ^ job.reference[i];
    input = delta.data();
  }

  // Every coder's encodes are timed in turns, then every coder's decodes.
  CompressionMgr compressor;
  ConfigureCompressor(compressor, settings_.stageFlags, settings_.lzMaxSearch);
  PipelineBuffers ours(job, bands, figures.rawBytes);
  std::vector<BaselineBuffers> theirs(baselines_.size());
  std::vector<std::function<void()>> encodes{PipelineEncode(compressor, job, bands)};
  std::vector<std::function<void()>> decodes{PipelineDecode(compressor, bands, ours)};
  figures.baselines.resize(baselines_.size());
  for (size_t c = 0; c < baselines_.size(); ++c) {
    figures.baselines[c].name = baselines_[c]->Name();
    theirs[c].Allocate(*baselines_[c], bands, figures.rawBytes);
    encodes.push_back(BaselineEncode(*baselines_[c], input, bands, theirs[c]));
    decodes.push_back(BaselineDecode(*baselines_[c], bands, theirs[c]));
  }
  const std::vector<double> encodeSeconds = BestSecondsPerRunInTurns(encodes, settings_.timing);
  const std::vector<double> decodeSeconds = BestSecondsPerRunInTurns(decodes, settings_.timing);

  figures.pipeline = CheckPipeline(job, bands, ours, figures.rawBytes);
  figures.pipeline.encodeSeconds = encodeSeconds[0];
  figures.pipeline.decodeSeconds = decodeSeconds[0];
  for (size_t c = 0; c < baselines_.size(); ++c) {
    CodecFigures& result = figures.baselines[c];
    CheckBaseline(input, bands, theirs[c], result);
    result.encodeSeconds = encodeSeconds[c + 1];
    result.decodeSeconds = decodeSeconds[c + 1];
  }
  if (settings_.stageTimes) MeasureStages(compressor, job, bands, figures);
  return figures;
}

FrameMeasurer::PipelineBuffers::PipelineBuffers(const FrameJob& job, const std::vector<BandSpan>& bands,
                                                uint64_t rawBytes)
    : region(InitialRegion(job, rawBytes)), covered(bands.size(), 0) {}

std::function<void()> FrameMeasurer::PipelineEncode(CompressionMgr& compressor, const FrameJob& job,
                                                    const std::vector<BandSpan>& bands) {
  streams_.resize(bands.size());
  streamLengths_.assign(bands.size(), 0);
  for (size_t b = 0; b < bands.size(); ++b) streams_[b].resize(CompressBound(bands[b].pixelCount));
  return [this, &compressor, &job, &bands] {
    for (size_t b = 0; b < bands.size(); ++b) {
      const uint8_t* reference = job.reference != nullptr ? job.reference + bands[b].offset : nullptr;
      streamLengths_[b] = compressor.Compress(3, bands[b].pixelCount, reference, job.pixels + bands[b].offset,
                                              streams_[b].data());
    }
  };
}

// Decoding over the result again gives the same pixels (skipped pixels equal
// the reference), so the region need not be restored between runs.
std::function<void()> FrameMeasurer::PipelineDecode(CompressionMgr& compressor, const std::vector<BandSpan>& bands,
                                                    PipelineBuffers& ours) {
  return [this, &compressor, &bands, &ours] {
    for (size_t b = 0; b < bands.size(); ++b) {
      if (streamLengths_[b] == 0) continue;
      ours.covered[b] = compressor.Decompress(streamLengths_[b], streams_[b].data(), 3 * bands[b].pixelCount,
                                              ours.region.data() + bands[b].offset);
    }
  };
}

CodecFigures FrameMeasurer::CheckPipeline(const FrameJob& job, const std::vector<BandSpan>& bands,
                                          const PipelineBuffers& ours, uint64_t rawBytes) const {
  CodecFigures result;
  char name[16];
  std::snprintf(name, sizeof name, "zk-%02X", settings_.stageFlags);
  result.name = name;
  const bool runLength = (settings_.stageFlags & (STAGE_RLE565 | STAGE_RLE332)) != 0;
  for (size_t b = 0; b < bands.size(); ++b) {
    result.compressedBytes += streamLengths_[b];
    // Nothing to send is right only for a band that did not change.
    if (streamLengths_[b] == 0 && !(runLength && BandUnchanged(job, bands[b]))) result.verified = false;
    if (streamLengths_[b] != 0 && ours.covered[b] != 3 * bands[b].pixelCount) result.verified = false;
  }
  if (!DecodedAsExpected(settings_.stageFlags, job.pixels, ours.region.data(), rawBytes / 3)) {
    result.verified = false;
  }
  return result;
}

void FrameMeasurer::MeasureStages(CompressionMgr& compressor, const FrameJob& job,
                                  const std::vector<BandSpan>& bands, FrameFigures& figures) {
  std::vector<StageReplay> replays(bands.size());
  std::vector<uint8_t> region = InitialRegion(job, figures.rawBytes);
  for (size_t b = 0; b < bands.size(); ++b) {
    const uint8_t* reference = job.reference != nullptr ? job.reference + bands[b].offset : nullptr;
    const std::vector<uint8_t> stream = replays[b].Record(compressor, bands[b].pixelCount, reference,
                                                          job.pixels + bands[b].offset,
                                                          region.data() + bands[b].offset);
    const bool sameStream =
        stream.size() == streamLengths_[b] && std::equal(stream.begin(), stream.end(), streams_[b].begin());
    figures.replayMatches = figures.replayMatches && sameStream && replays[b].Repeatable();
  }
  figures.stagesMeasured = true;

  for (int s = 0; s < kPipelineStageCount; ++s) {
    StageFigures& result = figures.stages[s];
    for (const StageReplay& replay : replays) {
      result.attempted = result.attempted || replay.Attempted(s);
      if (!replay.Applied(s)) continue;
      ++result.appliedBands;
      result.inBytes += replay.InputBytes(s);
      result.outBytes += replay.OutputBytes(s);
    }
    if (!result.attempted) continue;
    result.encodeSeconds = BestSecondsPerRun(
        [&] {
          for (StageReplay& replay : replays) replay.Encode(s);
        },
        settings_.timing);
    if (result.appliedBands == 0) continue;
    result.decodeSeconds = BestSecondsPerRun(
        [&] {
          for (size_t b = 0; b < bands.size(); ++b) replays[b].Decode(s, region.data() + bands[b].offset);
        },
        settings_.timing);
  }
}

void FrameMeasurer::BaselineBuffers::Allocate(const BaselineCodec& codec, const std::vector<BandSpan>& bands,
                                              uint64_t rawBytes) {
  outputs.resize(bands.size());
  for (size_t b = 0; b < bands.size(); ++b) outputs[b].resize(codec.Bound(3 * size_t{bands[b].pixelCount}));
  lengths.assign(bands.size(), 0);
  decoded.resize(rawBytes);
  produced.assign(bands.size(), 0);
}

std::function<void()> FrameMeasurer::BaselineEncode(BaselineCodec& codec, const uint8_t* input,
                                                    const std::vector<BandSpan>& bands, BaselineBuffers& buffers) {
  return [&codec, input, &bands, &buffers] {
    for (size_t b = 0; b < bands.size(); ++b) {
      buffers.lengths[b] = codec.Encode(input + bands[b].offset, 3 * size_t{bands[b].pixelCount},
                                        buffers.outputs[b].data(), buffers.outputs[b].size());
    }
  };
}

std::function<void()> FrameMeasurer::BaselineDecode(BaselineCodec& codec, const std::vector<BandSpan>& bands,
                                                    BaselineBuffers& buffers) {
  return [&codec, &bands, &buffers] {
    for (size_t b = 0; b < bands.size(); ++b) {
      buffers.produced[b] = codec.Decode(buffers.outputs[b].data(), buffers.lengths[b],
                                         buffers.decoded.data() + bands[b].offset, 3 * size_t{bands[b].pixelCount});
    }
  };
}

void FrameMeasurer::CheckBaseline(const uint8_t* input, const std::vector<BandSpan>& bands,
                                  const BaselineBuffers& buffers, CodecFigures& result) {
  for (size_t b = 0; b < bands.size(); ++b) {
    result.compressedBytes += buffers.lengths[b];
    const size_t bytes = 3 * size_t{bands[b].pixelCount};
    if (buffers.lengths[b] == 0 || buffers.produced[b] != bytes ||
        std::memcmp(buffers.decoded.data() + bands[b].offset, input + bands[b].offset, bytes) != 0) {
      result.verified = false;
    }
  }
}
