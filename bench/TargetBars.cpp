#include "TargetBars.h"

#include <cmath>

#include "BaselineCodecs.h"
#include "FigureReport.h"

namespace {

bool IsCorpusFrame(const FrameFigures& frame) { return frame.kind == "still" || frame.kind == "sequence"; }

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Median over the stills of the pipeline's encode speed relative to zlib -1.
BarResult EncodeBar(const std::string& name, const std::vector<FrameFigures>& frames) {
  BarResult bar;
  bar.name = name;
  bar.target = 1.5;
  std::vector<double> speedups;
  for (const FrameFigures& frame : frames) {
    const CodecFigures* fast = frame.Find(kFastDeflateName);
    if (frame.kind != "still" || fast == nullptr) continue;
    speedups.push_back(fast->encodeSeconds / frame.pipeline.encodeSeconds);
  }
  bar.value = Median(speedups);
  bar.detail = "median over " + std::to_string(speedups.size()) + " stills of zlib -1 encode time / ours";
  return bar;
}

// Total decode time of every corpus frame, zlib -1 against ours.
BarResult DecodeBar(const std::vector<FrameFigures>& frames) {
  BarResult bar;
  bar.name = "(b) decode, corpus frames, aggregate throughput vs zlib -1";
  bar.target = 2.0;
  double ours = 0;
  double fastTotal = 0;
  uint64_t raw = 0;
  for (const FrameFigures& frame : frames) {
    const CodecFigures* fast = frame.Find(kFastDeflateName);
    if (!IsCorpusFrame(frame) || fast == nullptr) continue;
    ours += frame.pipeline.decodeSeconds;
    fastTotal += fast->decodeSeconds;
    raw += frame.rawBytes;
  }
  bar.value = fastTotal / ours;
  bar.detail = "ours " + Format("%.1f", MegabytesPerSecond(raw, ours)) + " MB/s, zlib -1 " +
               Format("%.1f", MegabytesPerSecond(raw, fastTotal)) + " MB/s";
  return bar;
}

// The frame on which our encoder is slowest relative to zlib -6.
BarResult WorstFrameBar(const std::vector<FrameFigures>& frames) {
  BarResult bar;
  bar.name = "(c) encode time per frame / zlib -6, worst frame";
  bar.target = 2.0;
  bar.goal = BarResult::AtMost;
  std::string worst = "none";
  for (const FrameFigures& frame : frames) {
    const CodecFigures* deflate = frame.Find(kDefaultDeflateName);
    if (deflate == nullptr) continue;
    const double slowdown = frame.pipeline.encodeSeconds / deflate->encodeSeconds;
    if (slowdown >= bar.value) {
      bar.value = slowdown;
      worst = frame.label + ": ours " + Format("%.1f", frame.pipeline.encodeSeconds * 1e3) + " ms, zlib -6 " +
              Format("%.1f", deflate->encodeSeconds * 1e3) + " ms";
    }
  }
  bar.detail = "over " + std::to_string(frames.size()) + " frames; worst " + worst;
  return bar;
}

// Compression of the corpus, for information: total raw bytes over total
// compressed bytes, ours relative to a baseline.
BarResult RatioBar(const std::vector<FrameFigures>& frames, const char* baseline) {
  BarResult bar;
  bar.name = std::string("(d) compression ratio, corpus, ours / ") + baseline;
  bar.goal = BarResult::Information;
  uint64_t ours = 0;
  uint64_t theirs = 0;
  uint64_t raw = 0;
  for (const FrameFigures& frame : frames) {
    const CodecFigures* other = frame.Find(baseline);
    if (!IsCorpusFrame(frame) || other == nullptr) continue;
    ours += frame.pipeline.compressedBytes;
    theirs += other->compressedBytes;
    raw += frame.rawBytes;
  }
  bar.value = static_cast<double>(theirs) / static_cast<double>(ours);
  bar.detail = "ours " + Format("%.1f", static_cast<double>(raw) / ours) + ":1, " + baseline + " " +
               Format("%.1f", static_cast<double>(raw) / theirs) + ":1";
  return bar;
}

BarResult CorrectnessBar(const std::vector<FrameFigures>& fullFrames, const std::vector<FrameFigures>& bandFrames) {
  BarResult bar;
  bar.name = "every stream decodes to what was encoded";
  bar.target = 0;
  bar.goal = BarResult::AtMost;
  std::string failed;
  for (const auto* frames : {&fullFrames, &bandFrames}) {
    for (const FrameFigures& frame : *frames) {
      if (FrameVerified(frame)) continue;
      bar.value += 1;
      if (failed.empty()) failed = ", first " + frame.label;
    }
  }
  bar.detail = Format("%.0f", bar.value) + " frames failed" + failed;
  return bar;
}

}  // namespace

bool BarResult::Passed() const {
  switch (goal) {
    case AtLeast:
      return value >= target;
    case AtMost:
      return value <= target;
    case Information:
      return true;
  }
  return false;
}

std::vector<BarResult> EvaluateBars(const std::vector<FrameFigures>& fullFrames,
                                    const std::vector<FrameFigures>& bandFrames) {
  return {
      CorrectnessBar(fullFrames, bandFrames),
      EncodeBar("(a) encode, stills, full frames, throughput vs zlib -1", fullFrames),
      EncodeBar("(a) encode, stills, bands of height/10, throughput vs zlib -1", bandFrames),
      DecodeBar(fullFrames),
      WorstFrameBar(fullFrames),
      RatioBar(fullFrames, kDefaultDeflateName),
      RatioBar(fullFrames, kDefaultZstdName),
  };
}

void PrintBars(FILE* out, const std::vector<BarResult>& bars) {
  for (const BarResult& bar : bars) {
    const char* verdict = bar.goal == BarResult::Information ? "INFO" : bar.Passed() ? "PASS" : "FAIL";
    const std::string target = bar.goal == BarResult::Information ? std::string("information")
                               : bar.goal == BarResult::AtLeast   ? Format("target >= %.2f", bar.target)
                                                                  : Format("target <= %.2f", bar.target);
    std::fprintf(out, "%s  %s: %.2f (%s)\n      %s\n", verdict, bar.name.c_str(), bar.value, target.c_str(),
                 bar.detail.c_str());
  }
}

std::string BarJson(const BarResult& bar) {
  const char* goal = bar.goal == BarResult::AtLeast ? "at_least" : bar.goal == BarResult::AtMost ? "at_most" : "info";
  return "{\"bar\":" + JsonString(bar.name) + ",\"value\":" +
         (std::isfinite(bar.value) ? Format("%.6g", bar.value) : std::string("null")) +
         ",\"target\":" + Format("%.6g", bar.target) + ",\"goal\":\"" + goal + "\",\"pass\":" +
         (bar.Passed() ? "true" : "false") + ",\"detail\":" + JsonString(bar.detail) + "}";
}
