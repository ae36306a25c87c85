#include "FigureReport.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

double Ratio(uint64_t raw, uint64_t compressed) {
  return compressed == 0 ? std::numeric_limits<double>::infinity() : static_cast<double>(raw) / compressed;
}

std::string Number(double value, const char* format) {
  if (!std::isfinite(value)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// Every codec of a frame, the pipeline first.
std::vector<const CodecFigures*> AllCodecs(const FrameFigures& figures) {
  std::vector<const CodecFigures*> codecs = {&figures.pipeline};
  for (const CodecFigures& codec : figures.baselines) codecs.push_back(&codec);
  return codecs;
}

std::string CodecJson(const FrameFigures& figures, const CodecFigures& codec) {
  return "{\"codec\":" + JsonString(codec.name) + ",\"bytes\":" + std::to_string(codec.compressedBytes) +
         ",\"ratio\":" + JsonNumber(Ratio(figures.rawBytes, codec.compressedBytes)) +
         ",\"encode_s\":" + JsonNumber(codec.encodeSeconds) + ",\"decode_s\":" + JsonNumber(codec.decodeSeconds) +
         ",\"encode_mbps\":" + JsonNumber(MegabytesPerSecond(figures.rawBytes, codec.encodeSeconds)) +
         ",\"decode_mbps\":" + JsonNumber(MegabytesPerSecond(figures.rawBytes, codec.decodeSeconds)) +
         ",\"verified\":" + (codec.verified ? "true" : "false") + "}";
}

std::string StageJson(int stage, const StageFigures& figures) {
  return "{\"stage\":" + JsonString(kPipelineStages[stage].name) + ",\"applied_bands\":" +
         std::to_string(figures.appliedBands) + ",\"in\":" + std::to_string(figures.inBytes) +
         ",\"out\":" + std::to_string(figures.outBytes) + ",\"encode_s\":" + JsonNumber(figures.encodeSeconds) +
         ",\"decode_s\":" + JsonNumber(figures.decodeSeconds) + "}";
}

}  // namespace

double MegabytesPerSecond(uint64_t rawBytes, double seconds) {
  return seconds > 0 ? static_cast<double>(rawBytes) / seconds / 1e6 : std::numeric_limits<double>::infinity();
}

double Median(std::vector<double> values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintFrameFigures(FILE* out, const FrameFigures& figures) {
  std::fprintf(out, "%s  %s%s  %ux%u  %llu bytes  %u band%s\n", figures.label.c_str(), figures.kind.c_str(),
               figures.hasReference ? " (against the previous frame)" : "", figures.width, figures.height,
               static_cast<unsigned long long>(figures.rawBytes), figures.bands, figures.bands == 1 ? "" : "s");
  std::fprintf(out, "  %-8s %10s %10s %10s %11s %11s\n", "codec", "ratio", "enc MB/s", "dec MB/s", "enc/zlib-1",
               "dec/zlib-1");
  const CodecFigures* fast = figures.Find(kFastDeflateName);
  for (const CodecFigures* codec : AllCodecs(figures)) {
    const std::string encodeVsFast =
        fast != nullptr ? Number(fast->encodeSeconds / codec->encodeSeconds, "%.2fx") : "-";
    const std::string decodeVsFast =
        fast != nullptr && codec->compressedBytes != 0 ? Number(fast->decodeSeconds / codec->decodeSeconds, "%.2fx")
                                                       : "-";
    std::fprintf(out, "  %-8s %10s %10s %10s %11s %11s%s\n", codec->name.c_str(),
                 Number(Ratio(figures.rawBytes, codec->compressedBytes), "%.1f").c_str(),
                 Number(MegabytesPerSecond(figures.rawBytes, codec->encodeSeconds), "%.1f").c_str(),
                 Number(MegabytesPerSecond(figures.rawBytes, codec->decodeSeconds), "%.1f").c_str(),
                 encodeVsFast.c_str(), decodeVsFast.c_str(), codec->verified ? "" : "  DECODE MISMATCH");
  }
  const bool anyStage = std::any_of(std::begin(figures.stages), std::end(figures.stages),
                                    [](const StageFigures& stage) { return stage.attempted; });
  if (figures.stagesMeasured && !figures.replayMatches) {
    std::fprintf(out, "  WARNING: the compressor's stage calls, made again, gave other streams\n");
  }
  if (!figures.stagesMeasured || !anyStage) return;
  std::fprintf(out, "  stages of %s: bands applied, bytes in -> out, encode ms (attempts included), decode ms\n",
               figures.pipeline.name.c_str());
  for (int s = 0; s < kPipelineStageCount; ++s) {
    const StageFigures& stage = figures.stages[s];
    if (!stage.attempted) continue;
    std::fprintf(out, "    %-10s %3u/%-3u %10llu -> %-10llu %9.2f %9.2f\n", kPipelineStages[s].name, stage.appliedBands,
                 figures.bands, static_cast<unsigned long long>(stage.inBytes),
                 static_cast<unsigned long long>(stage.outBytes), stage.encodeSeconds * 1e3,
                 stage.decodeSeconds * 1e3);
  }
}

void PrintSummary(FILE* out, const std::vector<FrameFigures>& frames) {
  if (frames.empty()) return;
  std::fprintf(out, "summary over %zu frame%s (medians of per-frame speed relative to zlib -1):\n", frames.size(),
               frames.size() == 1 ? "" : "s");
  std::fprintf(out, "  %-8s %10s %14s %14s %11s %11s\n", "codec", "ratio", "total enc MB/s", "total dec MB/s",
               "enc/zlib-1", "dec/zlib-1");
  for (const CodecFigures* first : AllCodecs(frames.front())) {
    uint64_t raw = 0;
    uint64_t compressed = 0;
    double encode = 0;
    double decode = 0;
    std::vector<double> encodeVsFast;
    std::vector<double> decodeVsFast;
    for (const FrameFigures& frame : frames) {
      const CodecFigures* codec = frame.Find(first->name);
      const CodecFigures* fast = frame.Find(kFastDeflateName);
      if (codec == nullptr || fast == nullptr) continue;
      raw += frame.rawBytes;
      compressed += codec->compressedBytes;
      encode += codec->encodeSeconds;
      decode += codec->decodeSeconds;
      encodeVsFast.push_back(fast->encodeSeconds / codec->encodeSeconds);
      if (codec->compressedBytes != 0) decodeVsFast.push_back(fast->decodeSeconds / codec->decodeSeconds);
    }
    std::fprintf(out, "  %-8s %10s %14s %14s %11s %11s\n", first->name.c_str(), Number(Ratio(raw, compressed), "%.1f").c_str(),
                 Number(MegabytesPerSecond(raw, encode), "%.1f").c_str(),
                 Number(MegabytesPerSecond(raw, decode), "%.1f").c_str(), Number(Median(encodeVsFast), "%.2fx").c_str(),
                 Number(Median(decodeVsFast), "%.2fx").c_str());
  }
}

std::string FrameFiguresJson(const FrameFigures& figures) {
  std::string json = "{\"frame\":" + JsonString(figures.label) + ",\"kind\":" + JsonString(figures.kind) +
                     ",\"width\":" + std::to_string(figures.width) + ",\"height\":" + std::to_string(figures.height) +
                     ",\"bands\":" + std::to_string(figures.bands) +
                     ",\"against_previous\":" + (figures.hasReference ? "true" : "false") +
                     ",\"raw_bytes\":" + std::to_string(figures.rawBytes) + ",\"codecs\":[";
  const std::vector<const CodecFigures*> codecs = AllCodecs(figures);
  for (size_t i = 0; i < codecs.size(); ++i) json += (i > 0 ? "," : "") + CodecJson(figures, *codecs[i]);
  json += "]";
  if (figures.stagesMeasured) {
    json += ",\"stages\":[";
    bool first = true;
    for (int s = 0; s < kPipelineStageCount; ++s) {
      if (!figures.stages[s].attempted) continue;
      json += (first ? "" : ",") + StageJson(s, figures.stages[s]);
      first = false;
    }
    json += "],\"stages_match_pipeline\":";
    json += figures.replayMatches ? "true" : "false";
  }
  return json + "}";
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}
