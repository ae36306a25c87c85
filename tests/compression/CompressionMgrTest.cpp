#include "compression/CompressionMgr.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Trace.h"
#include "compression/CodecTestSupport.h"
#include "frames/PixelRoutines.h"
#include "stats/StatStore.h"

namespace {

CompressionMgr Configured(bool huffman, bool lz, bool rle332, bool rle565) {
  CompressionMgr mgr;
  // The start-up order: the 5-6-5 switch comes last and wins.
  mgr.EnableHuffman(huffman);
  mgr.EnableLZ(lz);
  mgr.EnableRLE332(rle332);
  mgr.EnableRLE565(rle565);
  return mgr;
}

CompressionMgr Defaults() { return Configured(true, true, false, true); }

CompressionMgr WithStages(uint8_t flags) {
  return Configured(flags & STAGE_HUFFMAN, flags & STAGE_LZ77, flags & STAGE_RLE332,
                    flags & STAGE_RLE565);
}

Bytes Compress(CompressionMgr& mgr, const Bytes& pixels, const Bytes* reference = nullptr) {
  const uint32_t n = static_cast<uint32_t>(pixels.size() / 3);
  Bytes out(CompressBound(n));
  out.resize(mgr.Compress(3, n, reference ? reference->data() : nullptr, pixels.data(),
                          out.data()));
  return out;
}

uint32_t Decompress(CompressionMgr& mgr, const Bytes& stream, Bytes& region) {
  return mgr.Decompress(static_cast<uint32_t>(stream.size()), stream.data(),
                        static_cast<uint32_t>(region.size()), region.data());
}

std::vector<std::string>& TraceLines() {
  static std::vector<std::string> lines;
  return lines;
}

void RecordTrace(int level, const char* line) {
  TraceLines().push_back(std::to_string(level) + ":" + line);
}

TEST(CompressionMgrConfig, RunLengthDepthsExcludeEachOther) {
  CompressionMgr mgr;
  EXPECT_EQ(mgr.GetStageFlags(), 0);
  EXPECT_EQ(mgr.GetLZMaxSearch(), 32768);
  mgr.EnableRLE332(true);
  EXPECT_EQ(mgr.GetStageFlags(), STAGE_RLE332);
  EXPECT_TRUE(mgr.Is8BitMode());
  mgr.EnableRLE565(true);
  EXPECT_EQ(mgr.GetStageFlags(), STAGE_RLE565);
  mgr.EnableRLE332(false);
  EXPECT_EQ(mgr.GetStageFlags(), STAGE_RLE565);  // clearing 3-3-2 leaves 5-6-5 alone
  mgr.EnableHuffman(true);
  mgr.EnableLZ(true);
  EXPECT_EQ(mgr.GetStageFlags(), STAGE_RLE565 | STAGE_LZ77 | STAGE_HUFFMAN);
  mgr.EnableLZ(false);
  EXPECT_EQ(mgr.GetStageFlags(), STAGE_RLE565 | STAGE_HUFFMAN);
}

TEST(CompressionMgrConfig, EightBitModeNeedsTheFiveSixFiveKeyOff) {
  EXPECT_EQ(Configured(true, true, true, true).GetStageFlags() & 0x06, STAGE_RLE565);
  EXPECT_EQ(Configured(true, true, true, false).GetStageFlags() & 0x06, STAGE_RLE332);
  EXPECT_EQ(Configured(true, true, false, false).GetStageFlags() & 0x06, 0);
  CompressionMgr both = Configured(false, false, true, true);
  std::mt19937 rng(6);
  const Bytes pixels = ScreenLikePixels(100, rng);
  EXPECT_EQ(Compress(both, pixels)[0], STAGE_RLE565);
}

TEST(CompressionMgrStream, TwoDifferentPixelsMakeANineByteStream) {
  CompressionMgr mgr = Defaults();
  const Bytes pixels = {0x08, 0x04, 0x08, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Compress(mgr, pixels), (Bytes{0x02, 0x02, 0x00, 0x21, 0x08, 0xFF, 0xFF, 0x00, 0xC0}));
}

TEST(CompressionMgrStream, SmallRegionsAreTooShortForLZ77AndHuffman) {
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(7);
  Bytes pixels(100 * 3);
  for (auto& b : pixels) b = static_cast<uint8_t>(rng());
  const Bytes stream = Compress(mgr, pixels);
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(stream[0], STAGE_RLE565);
  EXPECT_LE(stream.size(), 1u + 204u);
}

TEST(CompressionMgrStream, UnchangedRegionIsNothingToSendAndIsNotCounted) {
  StatReset(0);
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(8);
  const Bytes pixels = ScreenLikePixels(5000, rng);
  EXPECT_TRUE(Compress(mgr, pixels, &pixels).empty());
  EXPECT_EQ(StatTotals().raw, 0u);
  CompressionMgr whole = Configured(true, true, false, false);
  const Bytes stream = Compress(whole, pixels, &pixels);
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(stream[0] & 0x06, 0);
}

TEST(CompressionMgrStream, NoStagesMeansStageByteZeroAndRawPixels) {
  CompressionMgr mgr = Configured(false, false, false, false);
  std::mt19937 rng(9);
  const Bytes pixels = ScreenLikePixels(777, rng);
  const Bytes stream = Compress(mgr, pixels);
  ASSERT_EQ(stream.size(), 1u + 3 * 777);
  EXPECT_EQ(stream[0], 0);
  EXPECT_EQ(Bytes(stream.begin() + 1, stream.end()), pixels);
  Bytes region(pixels.size(), 0);
  EXPECT_EQ(Decompress(mgr, stream, region), pixels.size());
  EXPECT_EQ(region, pixels);
}

TEST(CompressionMgrStream, AllStagesNestHuffmanOutsideLZ77OutsideRunLength) {
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(10);
  const Bytes reference = ScreenLikePixels(60000, rng);
  const Bytes pixels = Perturbed(reference, 7, rng);
  const Bytes stream = Compress(mgr, pixels, &reference);
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(stream[0], 0x0B);
  Bytes region = Through565(reference);
  EXPECT_EQ(Decompress(mgr, stream, region), pixels.size());
  EXPECT_EQ(region, Through565(pixels));
}

TEST(CompressionMgrStream, StatisticsAreReportedPerStage) {
  StatReset(0);
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(11);
  const Bytes pixels = ScreenLikePixels(60000, rng);
  const Bytes stream = Compress(mgr, pixels);
  ASSERT_EQ(stream[0], 0x0B);
  const StatRecord& slot = StatSlot(StatRingIndex());
  EXPECT_EQ(slot.raw, pixels.size());
  EXPECT_EQ(slot.rleIn, pixels.size());
  EXPECT_EQ(slot.lz77In, slot.rleOut);
  EXPECT_EQ(slot.huffmanIn, slot.lz77Out);
  EXPECT_EQ(slot.huffmanOut + 1, stream.size());
  EXPECT_LT(slot.lz77Out, slot.lz77In);

  // A stage that was not applied reports zeros.
  CompressionMgr rleOnly = Configured(false, false, false, true);
  Compress(rleOnly, pixels);
  EXPECT_EQ(StatSlot(StatRingIndex()).lz77In, 0u);
  EXPECT_EQ(StatSlot(StatRingIndex()).huffmanOut, 0u);
}

TEST(CompressionMgrStream, NullBuffersFailWithATrace) {
  TraceLines().clear();
  const TraceSink previous = SetTraceSink(RecordTrace);
  CompressionMgr mgr = Defaults();
  uint8_t buffer[300] = {};
  EXPECT_EQ(mgr.Compress(3, 1, nullptr, nullptr, buffer), 0u);
  EXPECT_EQ(mgr.Compress(3, 1, nullptr, buffer, nullptr), 0u);
  EXPECT_EQ(mgr.Decompress(3, nullptr, 3, buffer), 0u);
  EXPECT_EQ(mgr.Decompress(3, buffer, 3, nullptr), 0u);
  SetTraceSink(previous);
  EXPECT_EQ(TraceLines(),
            (std::vector<std::string>{
                "10:\r\nCompressionMgr::Compress Failed!  BitsIn = NULL",
                "10:\r\nCompressionMgr::Compress Failed!  BitsOut = NULL",
                "10:\r\nCompressionMgr::Decompress Failed!  BitsIn = NULL",
                "10:\r\nCompressionMgr::Decompress Failed!  BitsOut = NULL"}));
}

TEST(CompressionMgrDecompress, BothDepthBitsDecodeAsFiveSixFive) {
  CompressionMgr mgr;
  const Bytes stream = {0x06, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0xC0};
  Bytes region(3, 0);
  ASSERT_EQ(Decompress(mgr, stream, region), 3u);
  EXPECT_EQ(region, (Bytes{0xF8, 0xFC, 0xF8}));
}

TEST(CompressionMgrDecompress, RawPayloadLongerThanTheRegionIsCut) {
  CompressionMgr mgr;
  Bytes stream = {0x00};
  for (int i = 0; i < 20; ++i) stream.push_back(static_cast<uint8_t>(i + 1));
  Bytes region(9, 0);
  EXPECT_EQ(Decompress(mgr, stream, region), 9u);
  EXPECT_EQ(region, Bytes(stream.begin() + 1, stream.begin() + 10));
}

TEST(CompressionMgrDecompress, FailureLeavesTheRegionUnchanged) {
  RecordedFailures failures;
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(12);
  Bytes pixels = ScreenLikePixels(60000, rng);
  // Noise at the end: its literal block crosses the end of a smaller region.
  for (size_t i = pixels.size() - 300; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(rng());
  Bytes stream = Compress(mgr, pixels);
  ASSERT_EQ(stream[0], 0x0B);
  const Bytes before = ScreenLikePixels(60000, rng);
  Bytes region = before;
  // A region one pixel smaller than the stream describes.
  Bytes smaller(before.begin(), before.end() - 3);
  EXPECT_EQ(Decompress(mgr, stream, smaller), 0u);
  EXPECT_EQ(smaller, Bytes(before.begin(), before.end() - 3));
  // A corrupted table.
  stream[1] = 0xFF;
  EXPECT_EQ(Decompress(mgr, stream, region), 0u);
  EXPECT_EQ(region, before);
  // A run-length stream cut short.
  const Bytes cut = {0x02, 0x05, 0x00, 0x01, 0x02};
  EXPECT_EQ(Decompress(mgr, cut, region), 0u);
  EXPECT_EQ(region, before);
  EXPECT_EQ(Decompress(mgr, Bytes{}, region), 0u);
}

TEST(CompressionMgrDecompress, WorkBuffersKeptBetweenCallsCarryNothingOver) {
  CompressionMgr mgr = Defaults();
  std::mt19937 rng(14);
  const Bytes large = ScreenLikePixels(50000, rng), small = ScreenLikePixels(3000, rng);
  const Bytes largeStream = Compress(mgr, large), smallStream = Compress(mgr, small);
  ASSERT_EQ(largeStream[0], 0x0B);
  for (int round = 0; round < 2; ++round) {
    Bytes region(large.size(), 0);
    ASSERT_EQ(Decompress(mgr, largeStream, region), large.size());
    EXPECT_EQ(region, Through565(large));
    Bytes smallRegion(small.size(), 0);
    ASSERT_EQ(Decompress(mgr, smallStream, smallRegion), small.size());
    EXPECT_EQ(smallRegion, Through565(small));
  }
  EXPECT_EQ(Compress(mgr, large), largeStream);
}

// Every valid combination of stages round-trips, with the reference inside
// the output buffer as the presenter places it for partial updates.
class StageCombination : public ::testing::TestWithParam<uint8_t> {};

TEST_P(StageCombination, RoundTripsWithTheReferenceInsideTheOutputBuffer) {
  uint8_t entries[kPaletteBytes];
  for (uint32_t v = 0; v < 256; ++v) {
    const uint32_t c = Expand332(static_cast<uint8_t>(v));
    entries[v * 4] = ColourBlue(c);
    entries[v * 4 + 1] = ColourGreen(c);
    entries[v * 4 + 2] = ColourRed(c);
    entries[v * 4 + 3] = 0;
  }
  SetPaletteTable(entries);
  const uint8_t flags = GetParam();
  CompressionMgr mgr = WithStages(flags);
  std::mt19937 rng(13 + flags);
  for (uint32_t n : {1u, 10u, 700u, 5000u, 40000u}) {
    const Bytes reference = ScreenLikePixels(n, rng);
    const Bytes pixels = Perturbed(reference, 1 + rng() % 20, rng);
    Bytes work(CompressBound(n));
    uint8_t* const inWork = work.data() + kReferenceOffsetInOutput;
    std::copy(reference.begin(), reference.end(), inWork);
    const uint32_t size = mgr.Compress(3, n, inWork, pixels.data(), work.data());
    Bytes separate(CompressBound(n));
    ASSERT_EQ(mgr.Compress(3, n, reference.data(), pixels.data(), separate.data()), size);
    ASSERT_TRUE(std::equal(work.begin(), work.begin() + size, separate.begin()));
    if (size == 0) continue;  // unchanged
    // What the receiver holds: the reference as it decoded it.
    Bytes region = ReceiverView(flags, reference);
    ASSERT_EQ(mgr.Decompress(size, work.data(), 3 * n, region.data()), 3 * n);
    ASSERT_EQ(region, ReceiverView(flags, pixels)) << "pixels " << n;
  }
  const uint8_t zeros[kPaletteBytes] = {};
  SetPaletteTable(zeros);
}

INSTANTIATE_TEST_SUITE_P(AllStages, StageCombination,
                         ::testing::ValuesIn(kStageCombinations),
                         [](const ::testing::TestParamInfo<uint8_t>& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "Stages%02X", info.param);
                           return std::string(name);
                         });

}  // namespace
