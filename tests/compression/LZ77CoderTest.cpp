// The LZ77 stage: the worked examples of its stream format, the encoder
// against the slow literal one on many shapes of input and every kind of
// search limit, and a decoder that refuses hostile streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "compression/CodecTestSupport.h"
#include "compression/CorpusFrames.h"
#include "compression/LZ77Coder.h"
#include "compression/LZ77MatchFinder.h"
#include "compression/RunLengthCodec.h"
#include "compression/reference/LiteralLZ77.h"

namespace {

const char kDumpFile[] = "C:\\LZDecode.bin";
const int32_t kSearchLimits[] = {32768, 1024, 64, 0, 1, 2};

Bytes Encode(const Bytes& input, int32_t limit, uint32_t capacity) {
  LZ77Coder coder;
  coder.SetSearchLimit(limit);
  Bytes out(capacity);
  out.resize(coder.Encode(input.data(), static_cast<uint32_t>(input.size()), out.data(), capacity));
  return out;
}

Bytes EncodeLiterally(const Bytes& input, int32_t limit, uint32_t capacity,
                      LiteralSearch search = LiteralSearch::kEveryCandidate) {
  Bytes out(capacity);
  out.resize(LiteralLZ77Encode(input.data(), static_cast<uint32_t>(input.size()), out.data(),
                               capacity, limit, search));
  return out;
}

Bytes Decode(const Bytes& stream, uint32_t capacity) {
  Bytes out(capacity);
  out.resize(LZ77Coder::Decode(stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
                               capacity));
  return out;
}

// Room for a stream that does not shrink: literal blocks add one byte in 127.
uint32_t Roomy(const Bytes& input) { return static_cast<uint32_t>(input.size() + input.size() / 64 + 16); }

// Whether the fast encoder's stream equals a reference encoder's; a failure
// where it does not.
bool ExpectSameStream(const Bytes& fast, const Bytes& reference) {
  EXPECT_EQ(fast.size(), reference.size());
  EXPECT_TRUE(fast == reference) << "first difference at byte "
                                 << std::mismatch(fast.begin(), fast.end(), reference.begin()).first -
                                        fast.begin();
  return fast == reference;
}

// The fast encoder against the pruned literal one, which the tests below hold
// to the literal encoder searching every candidate.
void ExpectSameAsPruned(const Bytes& input, int32_t limit, const std::string& what) {
  SCOPED_TRACE(what + ", limit " + std::to_string(limit));
  ExpectSameStream(Encode(input, limit, Roomy(input)),
                   EncodeLiterally(input, limit, Roomy(input), LiteralSearch::kPruned));
}

// Both encoders, with capacity n (as the pipeline calls it) and with room to
// spare (so that declined streams are compared too); the stream decodes back.
void ExpectSameAsLiteral(const Bytes& input, int32_t limit, const std::string& what) {
  SCOPED_TRACE(what + ", limit " + std::to_string(limit));
  const Bytes fast = Encode(input, limit, Roomy(input));
  const Bytes literal = EncodeLiterally(input, limit, Roomy(input));
  if (!ExpectSameStream(fast, literal)) return;
  const uint32_t n = static_cast<uint32_t>(input.size());
  EXPECT_EQ(Encode(input, limit, n).size(), EncodeLiterally(input, limit, n).size());
  if (!fast.empty()) {
    EXPECT_EQ(Decode(fast, n), input);
  }
  EXPECT_EQ(EncodeLiterally(input, limit, Roomy(input), LiteralSearch::kPruned), literal);
}

Bytes RandomBytes(uint32_t n, uint32_t alphabet, std::mt19937& rng) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng() % alphabet);
  return out;
}

// A pattern of `period` bytes repeated, with a few changed bytes (noise in
// 1/noise of the positions, none if noise is 0).
Bytes Periodic(uint32_t n, uint32_t period, uint32_t noise, std::mt19937& rng) {
  const Bytes pattern = RandomBytes(period, 1 + rng() % 255, rng);
  Bytes out(n);
  for (uint32_t k = 0; k < n; ++k) out[k] = pattern[k % period];
  if (noise != 0) {
    for (uint32_t k = 0; k < n; ++k) {
      if (rng() % noise == 0) out[k] = static_cast<uint8_t>(rng());
    }
  }
  return out;
}

// The run-length tokens of a picture, which is what the stage sees.
Bytes TokensOf(const Bytes& pixels) {
  const uint32_t count = static_cast<uint32_t>(pixels.size() / 3);
  Bytes out(RunLengthBound(count));
  out.resize(RLE565Encode(3, count, nullptr, pixels.data(), out.data()));
  return out;
}

// The screen patterns that stall a naive search, width x height pixels.
using Pattern = std::function<bool(uint32_t x, uint32_t y)>;
const std::pair<const char*, Pattern> kPatterns[] = {
    {"vertical stripes", [](uint32_t x, uint32_t) { return x % 2 == 1; }},
    {"checkerboard", [](uint32_t x, uint32_t y) { return (x + y) % 2 == 1; }},
    {"8-pixel checkerboard", [](uint32_t x, uint32_t y) { return (x / 8 + y / 8) % 2 == 1; }},
    {"diagonal hatching", [](uint32_t x, uint32_t y) { return (x + y) % 8 == 0; }},
    {"dot grid", [](uint32_t x, uint32_t y) { return x % 8 == 0 && y % 8 == 0; }},
};

Bytes PatternPixels(const Pattern& on, uint32_t width, uint32_t height) {
  Bytes out(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t v = on(x, y) ? 0x20 : 0xF0;
      uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = v;
      p[1] = static_cast<uint8_t>(v - 0x10);
      p[2] = v;
    }
  }
  return out;
}

TEST(LZ77Examples, FiveHundredTwelveZerosMakeThirtyFourBytes) {
  const Bytes zeros(512, 0);
  const Bytes expected = {
      0x05, 0, 0, 0, 0, 0,           // literal block of five zeros
      0x84, 5, 0, 0x88, 9, 0,        // (4, 5), (8, 9)
      0x90, 17, 0, 0xA0, 33, 0,      // (16, 17), (32, 33)
      0xC0, 65, 0, 0xFF, 129, 0,     // (64, 65), (127, 129)
      0xFF, 0, 1, 0xFF, 0x7F, 1,     // (127, 256), (127, 383)
      0x02, 0, 0,                    // literal block of two zeros
      0x00};
  ASSERT_EQ(expected.size(), 34u);
  EXPECT_EQ(Encode(zeros, 32768, 512), expected);
  EXPECT_EQ(EncodeLiterally(zeros, 32768, 512), expected);
  EXPECT_EQ(Decode(expected, 512), zeros);
}

TEST(LZ77Examples, InputsBelow512BytesAreDeclined) {
  EXPECT_TRUE(Encode(Bytes(511, 0), 32768, 4096).empty());
  EXPECT_FALSE(Encode(Bytes(512, 0), 32768, 4096).empty());
}

TEST(LZ77Examples, NonRepeatingInputGrowsByNineBytesAndIsDeclined) {
  std::mt19937 rng(1);
  const Bytes input = RandomBytes(1000, 256, rng);
  for (size_t a = 0; a + 4 <= input.size(); ++a) {
    for (size_t b = a + 1; b + 4 <= input.size(); ++b) {
      ASSERT_FALSE(std::equal(&input[a], &input[a] + 4, &input[b])) << "a four-byte string repeats";
    }
  }
  EXPECT_TRUE(Encode(input, 32768, 1000).empty());
  const Bytes stream = Encode(input, 32768, 2000);
  ASSERT_EQ(stream.size(), 1009u);
  size_t at = 0;
  for (int block = 0; block < 7; ++block, at += 128) EXPECT_EQ(stream[at], 127) << "block " << block;
  EXPECT_EQ(stream[at], 111);
  EXPECT_EQ(stream.back(), 0);
  EXPECT_EQ(Decode(stream, 1000), input);
}

TEST(LZ77Examples, NoSearchLimitMeansLiteralBlocksOnly) {
  const Bytes zeros(512, 0);
  for (int32_t limit : {0, -1, -32768}) {
    EXPECT_TRUE(Encode(zeros, limit, 512).empty()) << limit;
    const Bytes stream = Encode(zeros, limit, 1024);
    ASSERT_EQ(stream.size(), 512u + 5u + 1u) << limit;  // five block counts and the end byte
    EXPECT_EQ(stream[0], 127);
    EXPECT_EQ(Decode(stream, 512), zeros);
  }
}

TEST(LZ77Examples, RepeatsLongerThan127BytesBecomeConsecutiveMatches) {
  std::mt19937 rng(2);
  Bytes input = RandomBytes(300, 256, rng);
  input.insert(input.end(), input.begin(), input.end());  // 300 bytes again, at distance 300
  input.resize(700, static_cast<uint8_t>(input[0] ^ 0xFF));
  const Bytes stream = Encode(input, 32768, 700);
  ASSERT_FALSE(stream.empty());
  // The first 300 bytes are literal blocks of 127, 127 and 46 bytes.
  ASSERT_GE(stream.size(), 303u + 9u);
  EXPECT_EQ(stream[0], 127);
  EXPECT_EQ(stream[128], 127);
  EXPECT_EQ(stream[256], 46);
  const uint8_t expectedMatches[] = {0xFF, 0x2C, 0x01, 0xFF, 0x2C, 0x01, 0x80 | 46, 0x2C, 0x01};
  EXPECT_TRUE(std::equal(std::begin(expectedMatches), std::end(expectedMatches), &stream[303]));
  EXPECT_EQ(Decode(stream, 700), input);
}

TEST(LZ77Examples, AStreamAsLongAsItsInputIsKeptOneByteLongerIsDeclined) {
  std::mt19937 rng(3);
  Bytes input = RandomBytes(600, 256, rng);
  const Bytes stream = Encode(input, 32768, 2000);
  const uint32_t length = static_cast<uint32_t>(stream.size());
  EXPECT_EQ(Encode(input, 32768, length), stream);
  EXPECT_TRUE(Encode(input, 32768, length - 1).empty());
}

TEST(LZ77Decode, AStreamThatFillsTheCapacityNeedsNoEndByte) {
  RecordedFailures failures;
  const Bytes stream = {0x03, 'a', 'b', 'c', 0x83, 3, 0};  // "abc" then "abc" again, no end byte
  EXPECT_EQ(Decode(stream, 6), Bytes({'a', 'b', 'c', 'a', 'b', 'c'}));
  EXPECT_TRUE(RecordedFailures::Log().empty());
}

TEST(LZ77Decode, CapacityZeroProducesNothing) {
  RecordedFailures failures;
  const Bytes stream = {0x01, 'a', 0x00};
  uint8_t out = 0;
  EXPECT_EQ(LZ77Coder::Decode(stream.data(), 3, &out, 0), 0u);
  EXPECT_TRUE(RecordedFailures::Log().empty());
}

TEST(LZ77Decode, ATokenPastCapacityFailsAndReportsTheInput) {
  const Bytes literal = {0x04, 'a', 'b', 'c', 'd', 0x00};
  const Bytes match = {0x02, 'a', 'b', 0x84, 2, 0, 0x00};
  for (const Bytes* stream : {&literal, &match}) {
    RecordedFailures failures;
    const uint32_t needed = stream == &literal ? 4 : 6;
    EXPECT_TRUE(Decode(*stream, needed - 1).empty());
    ASSERT_EQ(RecordedFailures::Log().size(), 1u);
    EXPECT_EQ(RecordedFailures::Log()[0].dumpFile, kDumpFile);
    EXPECT_EQ(RecordedFailures::Log()[0].input, *stream);
    EXPECT_EQ(Decode(*stream, needed).size(), needed);
    EXPECT_EQ(Decode(*stream, needed + 10).size(), needed);
    EXPECT_EQ(RecordedFailures::Log().size(), 1u);
  }
}

TEST(LZ77Decode, HostileStreamsAreRefusedAndReported) {
  const std::pair<const char*, Bytes> cases[] = {
      {"empty input", {}},
      {"literal block cut short", {0x05, 'a', 'b'}},
      {"match without its distance", {0x01, 'a', 0x84}},
      {"match with half its distance", {0x01, 'a', 0x84, 0x01}},
      {"distance zero", {0x01, 'a', 0x81, 0x00, 0x00, 0x00}},
      {"distance before the output", {0x02, 'a', 'b', 0x81, 0x03, 0x00, 0x00}},
      {"far distance", {0x01, 'a', 0x84, 0xFF, 0xFF, 0x00}},
      {"no end byte before the output is full", {0x02, 'a', 'b'}},
      {"empty match with distance zero", {0x01, 'a', 0x80, 0x00, 0x00, 0x00}},
  };
  for (const auto& [what, stream] : cases) {
    RecordedFailures failures;
    EXPECT_TRUE(Decode(stream, 64).empty()) << what;
    ASSERT_EQ(RecordedFailures::Log().size(), 1u) << what;
    EXPECT_EQ(RecordedFailures::Log()[0].dumpFile, kDumpFile) << what;
    EXPECT_EQ(RecordedFailures::Log()[0].input, stream) << what;
  }
}

TEST(LZ77Decode, AMatchLongerThanItsDistanceRepeatsWhatItCopies) {
  RecordedFailures failures;
  const Bytes stream = {0x02, 'x', 'y', 0x87, 0x02, 0x00, 0x81, 0x01, 0x00, 0x00};
  EXPECT_EQ(Decode(stream, 64), Bytes({'x', 'y', 'x', 'y', 'x', 'y', 'x', 'y', 'x', 'x'}));
  EXPECT_TRUE(RecordedFailures::Log().empty());
}

TEST(LZ77Decode, AnEmptyMatchWithAValidDistanceIsHarmless) {
  RecordedFailures failures;
  const Bytes stream = {0x01, 'a', 0x80, 0x01, 0x00, 0x01, 'b', 0x00};
  EXPECT_EQ(Decode(stream, 64), Bytes({'a', 'b'}));
  EXPECT_TRUE(RecordedFailures::Log().empty());
}

TEST(LZ77Decode, RandomStreamsNeverReachOutsideTheirBuffers) {
  std::mt19937 rng(4);
  RecordedFailures failures;
  for (int round = 0; round < 2000; ++round) {
    Bytes stream = RandomBytes(1 + rng() % 300, 256, rng);
    if (round % 2) stream[0] = static_cast<uint8_t>(1 + rng() % 20);  // start with some output
    const uint32_t capacity = rng() % 400;
    Bytes out(capacity + 1, 0xEE);
    const uint32_t produced =
        LZ77Coder::Decode(stream.data(), static_cast<uint32_t>(stream.size()), out.data(), capacity);
    ASSERT_LE(produced, capacity);
    ASSERT_EQ(out[capacity], 0xEE) << "wrote past capacity";
  }
}

TEST(LZ77Differential, RandomInputsOfManyShapes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 24; ++round) {
    const uint32_t n = 512 + rng() % (round < 12 ? 5000 : 70000);
    Bytes input;
    std::string what;
    switch (round % 4) {
      case 0:
        input = RandomBytes(n, 256, rng);
        what = "random";
        break;
      case 1:
        input = RandomBytes(n, 2 + rng() % 6, rng);
        what = "few distinct bytes";
        break;
      case 2: {
        const uint32_t pixels = n / 2;
        const Bytes screen = ScreenLikePixels(pixels, rng);
        input = TokensOf(screen);
        what = "tokens of screen-like pixels";
        break;
      }
      default:
        input = Periodic(n, 300 + rng() % 3000, 50, rng);
        what = "long period with noise";
        break;
    }
    if (input.size() < 512) continue;
    for (int32_t limit : kSearchLimits) ExpectSameAsLiteral(input, limit, what + " #" + std::to_string(round));
  }
}

TEST(LZ77Differential, PeriodicInputsOfEveryShortPeriod) {
  std::mt19937 rng(6);
  for (uint32_t period = 1; period <= 300; ++period) {
    const uint32_t n = 512 + rng() % (period < 16 ? 100 * period : 1200);
    const uint32_t noise = period % 3 == 0 ? 0 : 200 + rng() % 800;
    const Bytes input = Periodic(n, period, noise, rng);
    for (int32_t limit : kSearchLimits) ExpectSameAsLiteral(input, limit, "period " + std::to_string(period));
  }
}

TEST(LZ77Differential, RepeatingScreenPatterns) {
  for (const auto& [name, pattern] : kPatterns) {
    for (uint32_t width : {96u, 200u}) {
      const Bytes input = TokensOf(PatternPixels(pattern, width, 24));
      for (int32_t limit : kSearchLimits) ExpectSameAsLiteral(input, limit, name + (" " + std::to_string(width)));
    }
  }
}

TEST(LZ77Differential, PeriodicDataAcrossBlocks) {
  // Long enough for several 32768-byte blocks, with the period changing
  // midway so that repeats end inside the window.
  std::mt19937 rng(7);
  for (uint32_t period : {1u, 4u, 16u, 37u, 1920u, 7680u}) {
    Bytes input = Periodic(40000, period, 0, rng);
    const Bytes second = Periodic(40000, period + 2, 3000, rng);
    input.insert(input.end(), second.begin(), second.end());
    for (int32_t limit : {32768, 64}) ExpectSameAsPruned(input, limit, "period " + std::to_string(period));
  }
}

// A periodic stretch, then many short strings that begin with its first 12
// bytes and then part: their searches pass over the stretch's entries
// without the visit budget, where the stretch has to be stepped over.
TEST(LZ77Differential, PeriodicStretchesAmongStringsThatShareTheirStart) {
  std::mt19937 rng(8);
  for (uint32_t period : {1u, 2u, 4u, 6u}) {
    const Bytes unit = RandomBytes(period, 256, rng);
    Bytes input;
    for (int part = 0; part < 4; ++part) {
      for (uint32_t k = 0; k < 6000; ++k) input.push_back(unit[k % period]);
      for (int string = 0; string < 400; ++string) {
        for (uint32_t k = 0; k < 12; ++k) input.push_back(unit[k % period]);
        const Bytes tail = RandomBytes(4, 256, rng);
        input.insert(input.end(), tail.begin(), tail.end());
      }
    }
    for (int32_t limit : {32768, 64}) ExpectSameAsPruned(input, limit, "period " + std::to_string(period));
  }
}

TEST(LZ77Differential, RepeatingScreenPatternsAtFullSize) {
  for (const auto& [name, pattern] : kPatterns) {
    const Bytes input = TokensOf(PatternPixels(pattern, 1920, 40));
    ExpectSameAsPruned(input, 32768, name);
  }
}

#ifndef NDEBUG
// Builds that check assertions refuse what the finder's contract rules out.
TEST(LZ77MatchFinderDeathTest, PreconditionsAreChecked) {
  const Bytes input(600, 7);
  LZ77MatchFinder::Tables& tables = LZ77MatchFinder::ProcessTables();
  EXPECT_DEATH(LZ77MatchFinder(tables, input.data(), 4, 32768), "n >= 5");
  EXPECT_DEATH(LZ77MatchFinder(tables, input.data(), 600, 32768).Find(596), "i < n_ - 4");
}
#endif

// Full-size synthetic screens are too slow for the literal encoder; they
// must round-trip and shrink.
TEST(LZ77Patterns, FullScreensRoundTrip) {
  for (const auto& [name, pattern] : kPatterns) {
    const Bytes input = TokensOf(PatternPixels(pattern, 1920, 1080));
    const Bytes stream = Encode(input, 32768, static_cast<uint32_t>(input.size()));
    ASSERT_FALSE(stream.empty()) << name;
    EXPECT_LT(stream.size(), input.size() / 20) << name;
    EXPECT_EQ(Decode(stream, static_cast<uint32_t>(input.size())), input) << name;
  }
}

// The run-length tokens of corpus frames, whole and in bands of a tenth of
// their height. A few frames by default; every frame when
// ZK_LZ77_FULL_CORPUS is set.
TEST(LZ77Differential, CorpusTokens) {
  const bool everything = std::getenv("ZK_LZ77_FULL_CORPUS") != nullptr;
  std::vector<CorpusFrame> frames = ListCorpusFrames(ZK_CORPUS_DIR);
  ASSERT_FALSE(frames.empty()) << "no corpus at " << ZK_CORPUS_DIR;
  int tested = 0;
  for (CorpusFrame& frame : frames) {
    const bool sample = frame.name.find("s03_") == 0 ||
                        frame.name.find("typing_notepad_1920x1080/frame_03") != std::string::npos;
    if (!everything && !sample) continue;
    ASSERT_TRUE(LoadCorpusFrame(ZK_CORPUS_DIR, frame)) << frame.name;
    const size_t row = static_cast<size_t>(frame.width) * 3;
    const int32_t bandRows = std::max(1, frame.height / 10);
    for (int32_t top = 0; top < frame.height; top += bandRows) {
      const int32_t rows = std::min(bandRows, frame.height - top);
      const Bytes band(frame.pixels.begin() + top * row, frame.pixels.begin() + (top + rows) * row);
      const Bytes input = TokensOf(band);
      if (input.size() < 512) continue;
      const int32_t limit = everything ? kSearchLimits[top / bandRows % 4] : 32768;
      ExpectSameAsLiteral(input, limit, frame.name + " band at row " + std::to_string(top));
    }
    const Bytes whole = TokensOf(frame.pixels);
    for (int32_t limit : everything ? std::vector<int32_t>{32768, 1024, 64, 0} : std::vector<int32_t>{32768}) {
      ExpectSameAsLiteral(whole, limit, frame.name);
    }
    ++tested;
  }
  EXPECT_GT(tested, 0);
}

}  // namespace
