// zk_bench: the benchmark suite of the compression pipeline. Measures the
// default configuration on the screen corpus and on synthetic patterns,
// against zlib, zstd and lz4 in the same run, and prints PASS or FAIL for
// each speed target. Exit code: 0 every target met, 1 some missed, 2 error.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FigureReport.h"
#include "FrameMeasure.h"
#include "ScreenPatterns.h"
#include "TargetBars.h"
#include "Workloads.h"

namespace {

constexpr uint32_t kPatternWidth = 1920;
constexpr uint32_t kPatternHeight = 1080;
constexpr uint32_t kBandsPerStill = 10;

struct BenchArguments {
  std::string corpus = ZK_CORPUS_DIR;
  std::string jsonPath;
  int32_t lzMaxSearch = 32768;
};

bool ParseArguments(int argc, char** argv, BenchArguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (name == "--corpus") {
      arguments.corpus = value;
    } else if (name == "--json") {
      arguments.jsonPath = value;
    } else if (name == "--lzmax") {
      char* end = nullptr;
      const long limit = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || limit < INT32_MIN || limit > INT32_MAX) return false;
      arguments.lzMaxSearch = static_cast<int32_t>(limit);
    } else {
      return false;
    }
  }
  return true;
}

// Collects figures, shows each frame as soon as it is done and copies it to
// the JSON file.
class FigureLog {
 public:
  explicit FigureLog(FILE* json) : json_(json) {}
  FrameSink Into(std::vector<FrameFigures>& frames) {
    return [this, &frames](const FrameFigures& figures) {
      PrintFrameFigures(stdout, figures);
      std::fflush(stdout);
      if (json_ != nullptr) std::fprintf(json_, "%s\n", FrameFiguresJson(figures).c_str());
      frames.push_back(figures);
    };
  }

 private:
  FILE* json_;
};

bool MeasureAll(const std::vector<Workload>& workloads, FrameMeasurer& measurer, const FrameSink& sink) {
  for (const Workload& workload : workloads) {
    std::string error;
    if (!MeasureWorkload(workload, measurer, sink, error)) {
      std::fprintf(stderr, "zk_bench: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

void MeasurePatterns(FrameMeasurer& measurer, const FrameSink& sink) {
  for (const ScreenPattern pattern : AllScreenPatterns()) {
    const std::vector<uint8_t> pixels = MakeScreenPattern(pattern, kPatternWidth, kPatternHeight);
    FrameJob job;
    job.label = std::string("pattern:") + ScreenPatternName(pattern);
    job.kind = "pattern";
    job.width = kPatternWidth;
    job.height = kPatternHeight;
    job.pixels = pixels.data();
    sink(measurer.Measure(job));
  }
}

}  // namespace

int main(int argc, char** argv) {
  BenchArguments arguments;
  if (!ParseArguments(argc, argv, arguments)) {
    std::fprintf(stderr, "usage: zk_bench [--corpus DIR] [--json FILE] [--lzmax N]\n");
    return 2;
  }
  std::vector<Workload> stills;
  std::vector<Workload> sequences;
  std::string error;
  if (!ListCorpus(arguments.corpus, stills, sequences, error)) {
    std::fprintf(stderr, "zk_bench: %s\n", error.c_str());
    return 2;
  }
  FILE* json = nullptr;
  if (!arguments.jsonPath.empty() && (json = std::fopen(arguments.jsonPath.c_str(), "w")) == nullptr) {
    std::fprintf(stderr, "zk_bench: cannot create %s\n", arguments.jsonPath.c_str());
    return 2;
  }
  FigureLog log(json);

  MeasureSettings whole;
  whole.lzMaxSearch = arguments.lzMaxSearch;
  FrameMeasurer wholeFrames(whole);
  std::vector<FrameFigures> fullFrames;
  std::printf("== whole frames: %zu stills, %zu sequences, %zu patterns ==\n", stills.size(), sequences.size(),
              AllScreenPatterns().size());
  const bool measured = MeasureAll(stills, wholeFrames, log.Into(fullFrames)) &&
                        MeasureAll(sequences, wholeFrames, log.Into(fullFrames));
  if (measured) MeasurePatterns(wholeFrames, log.Into(fullFrames));

  MeasureSettings banded = whole;
  banded.bands = kBandsPerStill;
  banded.stageTimes = false;
  FrameMeasurer bandedFrames(banded);
  std::vector<FrameFigures> bandFrames;
  std::printf("\n== stills in %u bands ==\n", kBandsPerStill);
  const bool bandsMeasured = measured && MeasureAll(stills, bandedFrames, log.Into(bandFrames));
  if (!bandsMeasured) {
    if (json != nullptr) std::fclose(json);
    return 2;
  }

  std::printf("\n== whole frames ==\n");
  PrintSummary(stdout, fullFrames);
  std::printf("\n== stills in %u bands ==\n", kBandsPerStill);
  PrintSummary(stdout, bandFrames);
  std::printf("\n== targets ==\n");
  const std::vector<BarResult> bars = EvaluateBars(fullFrames, bandFrames);
  PrintBars(stdout, bars);
  bool allPassed = true;
  for (const BarResult& bar : bars) {
    allPassed = allPassed && bar.Passed();
    if (json != nullptr) std::fprintf(json, "%s\n", BarJson(bar).c_str());
  }
  if (json != nullptr && std::fclose(json) != 0) {
    std::fprintf(stderr, "zk_bench: cannot write %s\n", arguments.jsonPath.c_str());
    return 2;
  }
  return allPassed ? 0 : 1;
}
