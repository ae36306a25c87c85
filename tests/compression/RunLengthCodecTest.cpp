#include "compression/RunLengthCodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>

#include "compression/CodecTestSupport.h"
#include "frames/PixelRoutines.h"

namespace {

Bytes Pixels(std::initializer_list<uint32_t> colours) {
  Bytes out;
  for (uint32_t c : colours) out.insert(out.end(), {ColourBlue(c), ColourGreen(c), ColourRed(c)});
  return out;
}

using RunLengthEncoder = uint32_t (*)(uint32_t, uint32_t, const uint8_t*, const uint8_t*, uint8_t*);

// The tokens in a buffer of exactly the bound, so that the sanitizers catch
// an encoder that outgrows it.
Bytes EncodeWith(RunLengthEncoder encode, const Bytes& pixels, const Bytes* reference) {
  const uint32_t n = static_cast<uint32_t>(pixels.size() / 3);
  Bytes out(RunLengthBound(n));
  out.resize(encode(3, n, reference ? reference->data() : nullptr, pixels.data(), out.data()));
  return out;
}

Bytes Encode565(const Bytes& pixels, const Bytes* reference = nullptr) {
  return EncodeWith(RLE565Encode, pixels, reference);
}

Bytes Encode332(const Bytes& pixels, const Bytes* reference = nullptr) {
  return EncodeWith(RLE332Encode, pixels, reference);
}

const uint32_t kRed = MakeColour(0x10, 0x20, 0xF0);
// 5-6-5: red 0xF0 >> 3 = 30, green 0x20 >> 2 = 8, blue 0x10 >> 3 = 2: 0xF102.
const uint8_t kRedLo = 0x02, kRedHi = 0xF1;

TEST(CountEqualPixels, CountsLeadingPixelsThatAgreeInAllBytes) {
  std::mt19937 rng(1);
  Bytes a = ScreenLikePixels(200, rng);
  EXPECT_EQ(CountEqualPixels(3, 0, a.data(), a.data()), 0u);
  EXPECT_EQ(CountEqualPixels(3, 200, a.data(), a.data()), 200u);
  for (size_t byte : {0u, 1u, 2u, 7u, 8u, 15u, 16u, 17u, 47u, 48u, 599u}) {
    Bytes b = a;
    b[byte] ^= 0x01;
    EXPECT_EQ(CountEqualPixels(3, 200, a.data(), b.data()), byte / 3) << byte;
  }
  Bytes b = a;
  b[150 * 3] ^= 1;
  EXPECT_EQ(CountEqualPixels(3, 100, a.data(), b.data()), 100u);  // difference past count
}

TEST(RunLengthEncode, EmptyRegionIsTheEndTokenAlone) {
  EXPECT_EQ(Encode565({}), (Bytes{0x00, 0xC0}));
}

TEST(RunLengthEncode, OnePixelIsALiteralBlockOfOne) {
  EXPECT_EQ(Encode565(Pixels({kRed})), (Bytes{0x01, 0x00, kRedLo, kRedHi, 0x00, 0xC0}));
}

TEST(RunLengthEncode, FourEqualPixelsAreARunOfThreeAndALiteral) {
  EXPECT_EQ(Encode565(Pixels({kRed, kRed, kRed, kRed})),
            (Bytes{0x03, 0x80, kRedLo, kRedHi, 0x01, 0x00, kRedLo, kRedHi, 0x00, 0xC0}));
}

TEST(RunLengthEncode, ThreeEqualPixelsStayLiteral) {
  EXPECT_EQ(Encode565(Pixels({kRed, kRed, kRed})),
            (Bytes{0x03, 0x00, kRedLo, kRedHi, kRedLo, kRedHi, kRedLo, kRedHi, 0x00, 0xC0}));
}

TEST(RunLengthEncode, FiveSixFiveValueTakesTheHighBitsOfEachChannel) {
  // White: 0xFFFF; blue 0x08, green 0x04, red 0x08 give 1 | 1 << 5 | 1 << 11.
  EXPECT_EQ(Encode565(Pixels({MakeColour(0xFF, 0xFF, 0xFF), MakeColour(0x08, 0x04, 0x08)})),
            (Bytes{0x02, 0x00, 0xFF, 0xFF, 0x21, 0x08, 0x00, 0xC0}));
}

TEST(RunLengthEncode, ThreeThreeTwoValuesTakeOneByte) {
  EXPECT_EQ(Encode332(Pixels({MakeColour(50, 100, 200), kRed, kRed, kRed, kRed})),
            (Bytes{0x01, 0x00, 0xCC, 0x03, 0x80, 0xE4, 0x01, 0x00, 0xE4, 0x00, 0xC0}));
}

TEST(RunLengthEncode, RegionEqualToItsReferenceIsNothingToSend) {
  std::mt19937 rng(2);
  const Bytes pixels = ScreenLikePixels(500, rng);
  EXPECT_EQ(RLE565Encode(3, 500, pixels.data(), pixels.data(), Bytes(2000).data()), 0u);
  EXPECT_EQ(RLE332Encode(3, 500, pixels.data(), pixels.data(), Bytes(2000).data()), 0u);
  EXPECT_GT(Encode565(pixels).size(), 2u);
}

TEST(RunLengthEncode, LongSkipsSplitAt16383) {
  Bytes reference(20001 * 3, 0x33);
  Bytes pixels = reference;
  pixels[20000 * 3] = 0x44;
  const Bytes out = Encode565(pixels, &reference);
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0xFF, 0x7F, 0x21, 0x4E, 0x01, 0x00}));
  EXPECT_EQ(Bytes(out.end() - 2, out.end()), (Bytes{0x00, 0xC0}));
}

TEST(RunLengthEncode, PixelDifferingOnlyInRedIsNeverSkipped) {
  Bytes reference = Pixels({kRed, kRed, 0, kRed, MakeColour(1, 2, 3)});
  Bytes pixels = reference;
  pixels[4 * 3 + 2] = 4;  // red byte of the fifth pixel
  const Bytes out = Encode565(pixels, &reference);
  EXPECT_EQ(out, (Bytes{0x04, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0}));
}

TEST(RunLengthEncode, LongRunsSplitAt16383AndTheLastPixelIsNeverInARun) {
  const Bytes pixels(20000 * 3, 0x77);
  const Bytes out = Encode565(pixels);
  // run 16383, run 3616 (pairs end before the last pixel), literal 1, end.
  ASSERT_EQ(out.size(), 4u + 4u + 4u + 2u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xBF);
  EXPECT_EQ(out[4] | out[5] << 8, 0x8000 | 3616);
  EXPECT_EQ(out[8], 0x01);
}

TEST(RunLengthEncode, LiteralBlocksHoldAtMost16383Pixels) {
  Bytes pixels;
  for (uint32_t i = 0; i < 16384; ++i) {
    pixels.insert(pixels.end(), {static_cast<uint8_t>(i << 3), static_cast<uint8_t>(i >> 3),
                                 static_cast<uint8_t>(i >> 9 << 3)});
  }
  const Bytes out = Encode565(pixels);
  ASSERT_EQ(out.size(), 2u + 16383 * 2 + 2 + 2 + 2);
  EXPECT_EQ(out[0] | out[1] << 8, 16383);
  EXPECT_EQ(out[2 + 16383 * 2] | out[3 + 16383 * 2] << 8, 1);
}

TEST(RunLengthEncode, OutputStaysWithinTheStatedBound) {
  std::mt19937 rng(3);
  for (uint32_t n : {1u, 2u, 5u, 1000u, 40000u}) {
    Bytes pixels(n * 3);
    for (auto& b : pixels) b = static_cast<uint8_t>(rng());
    const Bytes out = Encode565(pixels);
    EXPECT_LE(out.size(), 2 * n + 2 * ((n + 16382) / 16383) + 4);
    EXPECT_LE(Encode332(pixels).size(), out.size());
  }
}

TEST(RunLengthDecode, RoundTripKeepsSkippedPixelsAndMapsTheRest) {
  std::mt19937 rng(4);
  for (int round = 0; round < 20; ++round) {
    const uint32_t n = 1 + rng() % 30000;
    const Bytes reference = ScreenLikePixels(n, rng);
    const Bytes pixels = Perturbed(reference, 1 + rng() % 50, rng);
    const Bytes tokens = Encode565(pixels, &reference);
    if (tokens.empty()) continue;  // nothing changed
    Bytes region = Through565(reference);
    // Pixels equal to the reference are skipped: the receiver's content stays.
    Bytes expected = Through565(pixels);
    ASSERT_EQ(RLE565Decode(tokens.data(), static_cast<uint32_t>(tokens.size()), region.data(),
                           static_cast<uint32_t>(region.size())),
              n * 3);
    ASSERT_EQ(region, expected) << "round " << round;
  }
}

TEST(RunLengthDecode, WhiteExpandsWithoutReplicatingHighBits) {
  const Bytes tokens = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0xC0};
  Bytes region(3);
  ASSERT_EQ(RLE565Decode(tokens.data(), 6, region.data(), 3), 3u);
  EXPECT_EQ(region, (Bytes{0xF8, 0xFC, 0xF8}));
}

TEST(RunLengthDecode, ThreeThreeTwoExpandsThroughThePalette) {
  const Bytes tokens = {0x02, 0x00, 0xCC, 0x01, 0x02, 0x80, 0xCC, 0x00, 0xC0};
  Bytes region(12, 0x55);
  ASSERT_EQ(RLE332Decode(tokens.data(), 9, region.data(), 12), 12u);
  EXPECT_EQ(region, Bytes(12, 0x00));  // no palette yet: black
  uint8_t entries[kPaletteBytes] = {};
  entries[0xCC * 4] = 9;
  SetPaletteTable(entries);
  ASSERT_EQ(RLE332Decode(tokens.data(), 9, region.data(), 12), 12u);
  EXPECT_EQ(region, (Bytes{9, 0, 0, 0, 0, 0, 9, 0, 0, 9, 0, 0}));
  const uint8_t zeros[kPaletteBytes] = {};
  SetPaletteTable(zeros);
}

TEST(RunLengthDecode, StreamFillingTheRegionNeedsNoEndToken) {
  const Bytes tokens = {0x02, 0x40, 0x01, 0x80, 0xFF, 0xFF};
  Bytes region(9, 0x11);
  ASSERT_EQ(RLE565Decode(tokens.data(), 6, region.data(), 9), 9u);
  EXPECT_EQ(region, (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0xF8, 0xFC, 0xF8}));
}

TEST(RunLengthDecode, EndTokenReturnsTheBytesReached) {
  const Bytes tokens = {0x01, 0x40, 0x00, 0xC0};
  Bytes region(30);
  EXPECT_EQ(RLE565Decode(tokens.data(), 4, region.data(), 30), 3u);
  const Bytes both = {0x02, 0xC0, 0x00, 0xC0};  // both high bits and a count: a skip
  EXPECT_EQ(RLE565Decode(both.data(), 4, region.data(), 30), 6u);
}

struct Overrun {
  const char* name;
  Bytes tokens;
};

class RunLengthDecodeFailure : public ::testing::TestWithParam<Overrun> {};

TEST_P(RunLengthDecodeFailure, TokenOneByteTooLongFailsAndReportsTheInput) {
  RecordedFailures failures;
  const Bytes& tokens = GetParam().tokens;
  Bytes region(9, 0x11);
  EXPECT_EQ(RLE565Decode(tokens.data(), static_cast<uint32_t>(tokens.size()), region.data(), 8),
            0u);
  EXPECT_EQ(region, Bytes(9, 0x11));  // checked whole before anything is written
  ASSERT_EQ(RecordedFailures::Log().size(), 1u);
  EXPECT_EQ(RecordedFailures::Log()[0].dumpFile, "C:\\RLDecode565.bin");
  EXPECT_EQ(RecordedFailures::Log()[0].input, tokens);
  // The same tokens fit a region one byte larger.
  EXPECT_EQ(RLE565Decode(tokens.data(), static_cast<uint32_t>(tokens.size()), region.data(), 9),
            9u);
  EXPECT_EQ(RLE332Decode(tokens.data(), static_cast<uint32_t>(tokens.size()), region.data(), 8),
            0u);
  ASSERT_EQ(RecordedFailures::Log().size(), 2u);
  EXPECT_EQ(RecordedFailures::Log()[1].dumpFile, "C:\\RLDecode332.bin");
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, RunLengthDecodeFailure,
    ::testing::Values(Overrun{"skip", {0x03, 0x40, 0x00, 0xC0}},
                      Overrun{"run", {0x03, 0x80, 0x00, 0x00, 0x00, 0xC0}},
                      Overrun{"literal", {0x01, 0x00, 0, 0, 0x02, 0x00, 0, 0, 0, 0, 0x00, 0xC0}}),
    [](const ::testing::TestParamInfo<Overrun>& info) { return std::string(info.param.name); });

TEST(RunLengthDecode, TokensEndingEarlyAreReportedNotReadPastTheirEnd) {
  RecordedFailures failures;
  Bytes region(300);
  const Bytes cases[] = {{}, {0x01}, {0x05, 0x00, 1, 2, 3}, {0x05, 0x80, 1}, {0x01, 0x40}};
  for (const Bytes& tokens : cases) {
    // Exact-size copies so that the sanitizers see any read past the end.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[tokens.size() + 1]);
    if (!tokens.empty()) std::memcpy(exact.get(), tokens.data(), tokens.size());
    EXPECT_EQ(RLE565Decode(exact.get(), static_cast<uint32_t>(tokens.size()), region.data(), 300),
              0u);
  }
  EXPECT_EQ(RecordedFailures::Log().size(), std::size(cases));
}

TEST(RunLengthDecode, ZeroCapacityDecodesNothing) {
  const Bytes tokens = {0x00, 0xC0};
  uint8_t region[1] = {};
  EXPECT_EQ(RLE565Decode(tokens.data(), 2, region, 0), 0u);
}

}  // namespace
