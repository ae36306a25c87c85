#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FigureReport.h"
#include "FrameMeasure.h"
#include "ScreenPatterns.h"
#include "Timing.h"
#include "Workloads.h"

namespace {

// Grey level of pixel (x, y), top-down, of a bottom-up picture.
uint8_t Level(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t x, uint32_t y) {
  return pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
}

}  // namespace

TEST(SplitIntoBands, TheLastBandTakesTheRemainderAndTheTopBandComesLastInMemory) {
  const std::vector<BandSpan> bands = SplitIntoBands(8, 25, 10);
  ASSERT_EQ(bands.size(), 10u);
  // Rows 0-1 (the top band) lie at the end of a bottom-up picture.
  EXPECT_EQ(bands[0].offset, size_t{23} * 8 * 3);
  EXPECT_EQ(bands[0].pixelCount, 2u * 8);
  EXPECT_EQ(bands[9].offset, 0u);
  EXPECT_EQ(bands[9].pixelCount, 7u * 8);
  size_t covered = 0;
  for (const BandSpan& band : bands) covered += band.pixelCount;
  EXPECT_EQ(covered, 25u * 8);
}

TEST(SplitIntoBands, NeverMoreBandsThanRows) {
  EXPECT_EQ(SplitIntoBands(4, 3, 10).size(), 3u);
  EXPECT_EQ(SplitIntoBands(4, 3, 0).size(), 1u);
  EXPECT_TRUE(SplitIntoBands(4, 0, 2).empty());
}

TEST(ScreenPatterns, EachPatternRepeatsAsDescribed) {
  const uint32_t w = 32;
  const uint32_t h = 16;
  const auto stripes = MakeScreenPattern(ScreenPattern::VerticalStripes1px, w, h);
  ASSERT_EQ(stripes.size(), size_t{w} * h * 3);
  EXPECT_NE(Level(stripes, w, h, 0, 5), Level(stripes, w, h, 1, 5));
  EXPECT_EQ(Level(stripes, w, h, 1, 0), Level(stripes, w, h, 1, 9));

  const auto checker = MakeScreenPattern(ScreenPattern::Checkerboard1px, w, h);
  EXPECT_NE(Level(checker, w, h, 0, 0), Level(checker, w, h, 1, 0));
  EXPECT_NE(Level(checker, w, h, 0, 0), Level(checker, w, h, 0, 1));
  EXPECT_EQ(Level(checker, w, h, 0, 0), Level(checker, w, h, 1, 1));

  const auto grid = MakeScreenPattern(ScreenPattern::Checkerboard8px, w, h);
  EXPECT_EQ(Level(grid, w, h, 0, 0), Level(grid, w, h, 7, 7));
  EXPECT_NE(Level(grid, w, h, 7, 0), Level(grid, w, h, 8, 0));
  EXPECT_EQ(Level(grid, w, h, 0, 0), Level(grid, w, h, 8, 8));

  const auto hatching = MakeScreenPattern(ScreenPattern::DiagonalHatching, w, h);
  EXPECT_EQ(Level(hatching, w, h, 3, 5), Level(hatching, w, h, 4, 4));
  EXPECT_NE(Level(hatching, w, h, 3, 5), Level(hatching, w, h, 4, 5));

  const auto dots = MakeScreenPattern(ScreenPattern::DotGrid, w, h);
  EXPECT_EQ(Level(dots, w, h, 8, 8), Level(dots, w, h, 16, 0));
  EXPECT_NE(Level(dots, w, h, 8, 8), Level(dots, w, h, 9, 8));
}

TEST(ScreenPatterns, NamesAreDistinct) {
  std::vector<std::string> names;
  for (const ScreenPattern pattern : AllScreenPatterns()) names.push_back(ScreenPatternName(pattern));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  EXPECT_EQ(names.size(), 5u);
}

TEST(Workloads, SequenceFramesComeInNumericOrder) {
  namespace fs = std::filesystem;
  const fs::path folder = "workload_sequence";
  fs::remove_all(folder);
  fs::create_directory(folder);
  for (const char* name : {"frame_10.png", "frame_2.png", "frame_1.png", "notes.txt"}) {
    std::FILE* file = std::fopen((folder / name).string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  Workload workload;
  std::string error;
  ASSERT_TRUE(WorkloadFromPath(folder.string(), workload, error)) << error;
  EXPECT_TRUE(workload.sequence);
  EXPECT_EQ(workload.label, "workload_sequence");
  ASSERT_EQ(workload.framePaths.size(), 3u);
  EXPECT_EQ(fs::path(workload.framePaths[0]).filename(), "frame_1.png");
  EXPECT_EQ(fs::path(workload.framePaths[1]).filename(), "frame_2.png");
  EXPECT_EQ(fs::path(workload.framePaths[2]).filename(), "frame_10.png");
  fs::remove_all(folder);
}

TEST(FrameMeasurer, StageReplayMatchesThePipelineAndEveryCoderRoundTrips) {
  // A checkerboard with a flat area, so every stage applies somewhere, then
  // the same screen with a changed strip, measured against the first.
  const uint32_t width = 256;
  const uint32_t height = 48;
  std::vector<uint8_t> first = MakeScreenPattern(ScreenPattern::Checkerboard8px, width, height);
  std::vector<uint8_t> second = first;
  for (size_t i = 0; i < size_t{width} * 3 * 5; ++i) second[i] = static_cast<uint8_t>(i * 13);

  MeasureSettings settings;
  settings.bands = 3;
  settings.timing.minSampleSeconds = 0;
  settings.timing.samples = 1;
  FrameMeasurer measurer(settings);
  FrameJob job;
  job.label = "test";
  job.kind = "sequence";
  job.width = width;
  job.height = height;
  job.pixels = second.data();
  job.reference = first.data();
  for (const bool withReference : {false, true}) {
    job.reference = withReference ? first.data() : nullptr;
    const FrameFigures figures = measurer.Measure(job);
    EXPECT_EQ(figures.bands, 3u);
    EXPECT_EQ(figures.rawBytes, size_t{width} * height * 3);
    EXPECT_TRUE(figures.replayMatches);
    EXPECT_TRUE(figures.pipeline.verified);
    EXPECT_GT(figures.pipeline.compressedBytes, 0u);
    EXPECT_EQ(figures.pipeline.name, "zk-0B");
    ASSERT_EQ(figures.baselines.size(), 5u);
    for (const CodecFigures& codec : figures.baselines) EXPECT_TRUE(codec.verified) << codec.name;
    EXPECT_TRUE(FrameVerified(figures));
    const StageFigures& runLength = figures.stages[0];  // the first row of kPipelineStages
    EXPECT_TRUE(runLength.attempted);
    // Against the reference only the changed strip (the bottom band) is sent.
    EXPECT_EQ(runLength.appliedBands, withReference ? 1u : 3u);
  }
}

TEST(Timing, RunsCompareSampleBySampleInTurns) {
  TimingPolicy policy;
  policy.minSampleSeconds = 0;  // every call is a sample by itself
  policy.samples = 3;
  std::string calls;
  const std::vector<double> best =
      BestSecondsPerRunInTurns({[&] { calls += 'a'; }, [&] { calls += 'b'; }}, policy);
  EXPECT_EQ(calls, "ababab");
  ASSERT_EQ(best.size(), 2u);
  EXPECT_GE(best[0], 0.0);
  EXPECT_GE(best[1], 0.0);
}

TEST(FigureReport, JsonStringsEscapeQuotesBackslashesAndControls) {
  EXPECT_EQ(JsonString("a\"b\\c\nd"), "\"a\\\"b\\\\c\\u000ad\"");
}

TEST(FigureReport, MedianOfEvenAndOddCounts) {
  EXPECT_DOUBLE_EQ(Median({3, 1, 2}), 2);
  EXPECT_DOUBLE_EQ(Median({4, 1, 3, 2}), 2.5);
}
