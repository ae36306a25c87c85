// The real codecs and pipeline against the slow literal ones: identical
// streams on random inputs and on the screen corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "compression/CodecTestSupport.h"
#include "compression/CompressionMgr.h"
#include "compression/CorpusFrames.h"
#include "compression/HuffmanDecoder.h"
#include "compression/HuffmanEncoder.h"
#include "compression/RunLengthCodec.h"
#include "compression/reference/LiteralHuffman.h"
#include "compression/reference/LiteralPipeline.h"
#include "compression/reference/LiteralRunLength.h"
#include "frames/PixelRoutines.h"

// Names the frame in test listings instead of dumping its bytes.
void PrintTo(const CorpusFrame& frame, std::ostream* os) { *os << frame.name; }

namespace {

const int32_t kSearchLimits[] = {32768, 1024, 64, 0};

CompressionMgr WithStages(uint8_t flags, int32_t limit) {
  CompressionMgr mgr;
  mgr.EnableHuffman(flags & STAGE_HUFFMAN);
  mgr.EnableLZ(flags & STAGE_LZ77);
  mgr.EnableRLE332(flags & STAGE_RLE332);
  mgr.EnableRLE565(flags & STAGE_RLE565);
  mgr.SetLZMaxSearch(limit);
  return mgr;
}

// Compresses with both and compares; returns the real stream.
Bytes ExpectSameStream(uint8_t flags, int32_t limit, uint32_t pixelCount, const uint8_t* reference,
                       const uint8_t* pixels) {
  CompressionMgr mgr = WithStages(flags, limit);
  Bytes real(CompressBound(pixelCount));
  Bytes literal(real.size());
  real.resize(mgr.Compress(3, pixelCount, reference, pixels, real.data()));
  literal.resize(LiteralCompress(flags, limit, pixelCount, reference, pixels, literal.data()));
  EXPECT_EQ(real.size(), literal.size());
  EXPECT_TRUE(real == literal) << "first difference at byte "
                               << std::mismatch(real.begin(), real.end(), literal.begin()).first -
                                      real.begin();
  return real;
}

TEST(DifferentialRunLength, SameTokensAsTheLiteralEncoders) {
  std::mt19937 rng(20);
  for (int round = 0; round < 60; ++round) {
    const uint32_t n = rng() % 40000;
    const Bytes reference = ScreenLikePixels(n, rng);
    const Bytes pixels = round % 3 == 0 ? ScreenLikePixels(n, rng) : Perturbed(reference, 1 + rng() % 40, rng);
    const uint8_t* ref = round % 2 ? reference.data() : nullptr;
    Bytes real(2 * n + 64), literal(2 * n + 64);
    ASSERT_EQ(RLE565Encode(3, n, ref, pixels.data(), real.data()),
              LiteralRLE565Encode(n, ref, pixels.data(), literal.data()));
    ASSERT_EQ(real, literal) << "round " << round;
    ASSERT_EQ(RLE332Encode(3, n, ref, pixels.data(), real.data()),
              LiteralRLE332Encode(n, ref, pixels.data(), literal.data()));
    ASSERT_EQ(real, literal) << "round " << round;
  }
}

// Stretches of one to five pixels from two colours, against a reference that
// agrees with every other pixel or so: every boundary between literals, runs
// of three or four and skips of two or three comes up.
TEST(DifferentialRunLength, SameTokensOnShortStretchesOfTwoColours) {
  std::mt19937 rng(21);
  const uint8_t colours[2][3] = {{0x10, 0x20, 0x30}, {0x10, 0x20, 0x31}};
  for (int round = 0; round < 40; ++round) {
    Bytes pixels;
    while (pixels.size() < 3 * 3000) {
      const uint8_t* colour = colours[rng() % 2];
      for (uint32_t k = 1 + rng() % 5; k > 0; --k) pixels.insert(pixels.end(), colour, colour + 3);
    }
    const uint32_t n = static_cast<uint32_t>(pixels.size() / 3);
    const Bytes reference = Perturbed(pixels, 2, rng);
    const uint8_t* ref = round % 4 ? reference.data() : nullptr;
    Bytes real(2 * n + 64), literal(2 * n + 64);
    ASSERT_EQ(RLE565Encode(3, n, ref, pixels.data(), real.data()),
              LiteralRLE565Encode(n, ref, pixels.data(), literal.data()));
    ASSERT_EQ(real, literal) << "round " << round;
  }
}

TEST(DifferentialHuffman, SameStreamsAsTheLiteralEncoder) {
  std::mt19937 rng(21);
  for (int round = 0; round < 60; ++round) {
    const uint32_t n = 1000 + rng() % 30000;
    Bytes input(n);
    const uint32_t spread = 1 + rng() % 256;
    const uint32_t skew = 1 + rng() % 8;
    for (auto& b : input) {
      uint32_t v = rng() % spread;
      for (uint32_t s = 1; s < skew; ++s) v = std::min<uint32_t>(v, rng() % spread);
      b = static_cast<uint8_t>(v);
    }
    const uint32_t capacity = n - rng() % (n / 2);  // sometimes too small
    Bytes real(n + 300), literal(n + 300);
    HuffmanEncoder encoder;
    const uint32_t size = encoder.Encode(input.data(), n, real.data(), capacity);
    ASSERT_EQ(size, LiteralHuffmanEncode(input.data(), n, literal.data(), capacity));
    ASSERT_TRUE(std::equal(real.begin(), real.begin() + size, literal.begin())) << round;
  }
}

// The table-driven decoder against a bit-at-a-time one, on valid and on
// arbitrary tables and bits.
TEST(DifferentialHuffman, TableDecoderMatchesTheBitByBitDecoder) {
  std::mt19937 rng(22);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream(16, 0);
    uint32_t space = 0, total = 0;
    const int shortest = 1 + rng() % 12;
    for (int l = shortest; l <= 16; ++l) {
      const uint32_t room = ((1u << 16) - space) >> (16 - l);
      uint32_t count = room == 0 ? 0 : rng() % (std::min<uint32_t>(room, 40) + 1);
      if (round % 7 == 0) count = rng() % 4;  // may be over-subscribed
      count = std::min<uint32_t>(count, 256 - total);
      stream[l - 1] = static_cast<uint8_t>(count);
      space += count << (16 - l);
      total += count;
    }
    for (uint32_t v = 0; v < total; ++v) stream.push_back(static_cast<uint8_t>(rng()));
    const uint32_t codeBytes = rng() % 200;
    for (uint32_t i = 0; i < codeBytes; ++i) {
      stream.push_back(static_cast<uint8_t>(round % 3 ? rng() : (rng() | 0xF0)));
    }
    if (round % 11 == 0 && !stream.empty()) stream.resize(rng() % stream.size());
    const uint32_t capacity = rng() % 2 ? 2000 : rng() % 300;
    Bytes real(capacity + 1), literal(capacity + 1);
    HuffmanDecoder decoder;
    const uint32_t size = decoder.Decode(stream.data(), static_cast<uint32_t>(stream.size()),
                                         real.data(), capacity);
    ASSERT_EQ(size, LiteralHuffmanDecode(stream.data(), static_cast<uint32_t>(stream.size()),
                                         literal.data(), capacity))
        << "round " << round;
    ASSERT_TRUE(std::equal(real.begin(), real.begin() + size, literal.begin())) << round;
  }
}

TEST(DifferentialPipeline, EveryStageCombinationAndSearchLimitOnRandomRegions) {
  std::mt19937 rng(23);
  SetPaletteTable(std::vector<uint8_t>(kPaletteBytes, 0).data());
  for (int round = 0; round < 3; ++round) {
    const uint32_t n = 2000 + rng() % 20000;
    const Bytes reference = ScreenLikePixels(n, rng);
    const Bytes pixels = Perturbed(reference, 2 + round * 5, rng);
    for (uint8_t flags : kStageCombinations) {
      for (int32_t limit : kSearchLimits) {
        SCOPED_TRACE(testing::Message() << "round " << round << " stages " << int(flags)
                                        << " limit " << limit);
        ExpectSameStream(flags, limit, n, nullptr, pixels.data());
        ExpectSameStream(flags, limit, n, reference.data(), pixels.data());
      }
    }
  }
}

// Corpus frames, whole and in bands of a tenth of their height, alone and
// against the previous frame of their sequence.
class CorpusDifferential : public ::testing::TestWithParam<CorpusFrame> {
 protected:
  static std::string Dir() { return ZK_CORPUS_DIR; }
};

TEST_P(CorpusDifferential, SameStreamsAsTheLiteralPipeline) {
  CorpusFrame frame = GetParam();
  ASSERT_TRUE(LoadCorpusFrame(Dir(), frame)) << frame.name;
  CorpusFrame previous;
  if (!frame.previous.empty()) {
    previous.name = frame.previous;
    ASSERT_TRUE(LoadCorpusFrame(Dir(), previous));
    ASSERT_EQ(previous.pixels.size(), frame.pixels.size());
  }
  const uint8_t* before = previous.pixels.empty() ? nullptr : previous.pixels.data();
  const size_t rowBytes = static_cast<size_t>(frame.width) * 3;
  const int32_t band = std::max(1, frame.height / 10);
  const uint32_t pixelCount = static_cast<uint32_t>(frame.width * frame.height);
  for (int32_t limit : kSearchLimits) {
    SCOPED_TRACE(testing::Message() << frame.name << " limit " << limit);
    ExpectSameStream(0x0B, limit, pixelCount, nullptr, frame.pixels.data());
    if (before) ExpectSameStream(0x0B, limit, pixelCount, before, frame.pixels.data());
  }
  // Bands are contiguous in memory whichever way the rows run. One search
  // limit keeps the run time in bounds; the whole frames cover the others.
  SCOPED_TRACE(testing::Message() << frame.name << " bands");
  for (int32_t top = 0; top < frame.height; top += band) {
    const int32_t rows = std::min(band, frame.height - top);
    const size_t offset = static_cast<size_t>(top) * rowBytes;
    const uint32_t count = static_cast<uint32_t>(rows * frame.width);
    ExpectSameStream(0x0B, 32768, count, nullptr, frame.pixels.data() + offset);
    if (before) ExpectSameStream(0x0B, 32768, count, before + offset, frame.pixels.data() + offset);
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDifferential,
                         ::testing::ValuesIn(ListCorpusFrames(ZK_CORPUS_DIR)),
                         [](const ::testing::TestParamInfo<CorpusFrame>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// The whole stage and search-limit matrix on real screen content: the middle
// band of a still and of a sequence frame against its predecessor. Without a
// run-length stage LZ77 sees raw pixels, whose flat areas make the literal
// encoder crawl, so those combinations get a strip of two rows.
TEST(CorpusDifferentialMatrix, EveryStageCombinationAndSearchLimitOnScreenBands) {
  const std::vector<CorpusFrame> frames = ListCorpusFrames(ZK_CORPUS_DIR);
  int checked = 0;
  for (const char* wanted : {"s07_vim_c_source_1920x1080.png", "seq_window_drag_1920x1080/frame_05.png"}) {
    auto it = std::find_if(frames.begin(), frames.end(),
                           [&](const CorpusFrame& f) { return f.name == wanted; });
    if (it == frames.end()) continue;
    CorpusFrame frame = *it, previous;
    ASSERT_TRUE(LoadCorpusFrame(ZK_CORPUS_DIR, frame));
    previous.name = frame.previous;
    const bool hasPrevious = !frame.previous.empty() && LoadCorpusFrame(ZK_CORPUS_DIR, previous);
    const size_t offset = static_cast<size_t>(frame.height / 2) * frame.width * 3;
    for (uint8_t flags : kStageCombinations) {
      const int32_t rows = (flags & (STAGE_RLE565 | STAGE_RLE332)) ? frame.height / 10 : 2;
      const uint32_t count = static_cast<uint32_t>(rows * frame.width);
      for (int32_t limit : kSearchLimits) {
        SCOPED_TRACE(testing::Message() << frame.name << " stages " << int(flags) << " limit " << limit);
        ExpectSameStream(flags, limit, count, nullptr, frame.pixels.data() + offset);
        if (hasPrevious) {
          ExpectSameStream(flags, limit, count, previous.pixels.data() + offset,
                           frame.pixels.data() + offset);
        }
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 2);
}

TEST(CorpusDifferentialSetup, CorpusIsPresent) {
  EXPECT_GE(ListCorpusFrames(ZK_CORPUS_DIR).size(), 10u) << ZK_CORPUS_DIR;
}

}  // namespace
