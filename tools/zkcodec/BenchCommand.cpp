#include "BenchCommand.h"

#include <cstdio>
#include <vector>

#include "FigureReport.h"
#include "FrameMeasure.h"
#include "Workloads.h"

int RunBenchCommand(const BenchOptions& options) {
  MeasureSettings settings;
  settings.stageFlags = options.stageFlags;
  settings.lzMaxSearch = options.lzMaxSearch;
  settings.bands = options.bands;
  FrameMeasurer measurer(settings);

  FILE* json = nullptr;
  if (!options.jsonPath.empty() && (json = std::fopen(options.jsonPath.c_str(), "w")) == nullptr) {
    std::fprintf(stderr, "zkcodec: cannot create %s\n", options.jsonPath.c_str());
    return 1;
  }
  std::vector<FrameFigures> frames;
  bool allVerified = true;
  const FrameSink sink = [&](const FrameFigures& figures) {
    PrintFrameFigures(stdout, figures);
    std::fflush(stdout);
    if (json != nullptr) std::fprintf(json, "%s\n", FrameFiguresJson(figures).c_str());
    allVerified = allVerified && FrameVerified(figures);
    frames.push_back(figures);
  };
  std::string error;
  bool measured = true;
  for (const std::string& path : options.paths) {
    Workload workload;
    if (!WorkloadFromPath(path, workload, error) || !MeasureWorkload(workload, measurer, sink, error)) {
      measured = false;
      break;
    }
  }
  PrintSummary(stdout, frames);
  const bool jsonWritten = json == nullptr || (std::fclose(json) == 0);
  if (!measured) {
    std::fprintf(stderr, "zkcodec: %s\n", error.c_str());
    return 1;
  }
  if (!jsonWritten) {
    std::fprintf(stderr, "zkcodec: cannot write %s\n", options.jsonPath.c_str());
    return 1;
  }
  if (!allVerified) {
    std::fprintf(stderr, "zkcodec: some streams did not decode to what was encoded (see the table)\n");
    return 1;
  }
  return 0;
}
