#include <gtest/gtest.h>

#include <numeric>

#include "compression/CodecTestSupport.h"
#include "compression/HuffmanDecoder.h"
#include "compression/HuffmanEncoder.h"

namespace {

// Also checks that the encoder wrote nothing past the stream it returns (the
// codes go out in wide stores), and nothing at all when it declined.
Bytes Encode(const Bytes& input, uint32_t capacity) {
  constexpr uint8_t kUntouched = 0xA5;
  Bytes out(capacity + 64, kUntouched);
  HuffmanEncoder encoder;
  const uint32_t size =
      encoder.Encode(input.data(), static_cast<uint32_t>(input.size()), out.data(), capacity);
  EXPECT_EQ(Bytes(out.begin() + size, out.end()), Bytes(out.size() - size, kUntouched));
  out.resize(size);
  return out;
}

Bytes Encode(const Bytes& input) { return Encode(input, static_cast<uint32_t>(input.size())); }

Bytes Decode(const Bytes& stream, uint32_t capacity) {
  Bytes out(capacity);
  HuffmanDecoder decoder;
  out.resize(decoder.Decode(stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
                            capacity));
  return out;
}

Bytes Counts(const Bytes& stream) { return Bytes(stream.begin(), stream.begin() + 16); }

Bytes Repeated(std::initializer_list<std::pair<uint8_t, uint32_t>> runs) {
  Bytes out;
  for (const auto& [value, count] : runs) out.insert(out.end(), count, value);
  return out;
}

// Values 0 .. count-1 where value k occurs as often as the (k+2)-th Fibonacci
// number (1, 2, 3, 5, ...): the deepest possible tree for its size.
Bytes FibonacciInput(int count) {
  Bytes out;
  uint64_t a = 1, b = 2;
  for (int k = 0; k < count; ++k) {
    out.insert(out.end(), a, static_cast<uint8_t>(k));
    const uint64_t next = a + b;
    a = b;
    b = next;
  }
  return out;
}

TEST(HuffmanEncode, DeclinesInputsShorterThan1024Bytes) {
  EXPECT_TRUE(Encode(Bytes(1023, 0x41)).empty());
  EXPECT_FALSE(Encode(Bytes(1024, 0x41)).empty());
}

TEST(HuffmanEncode, SingleValueGetsTheOneBitCodeZero) {
  const Bytes out = Encode(Bytes(1024, 0x41));
  ASSERT_EQ(out.size(), 145u);
  Bytes expected(16, 0);
  expected[0] = 1;
  expected.push_back(0x41);
  expected.insert(expected.end(), 128, 0x00);
  EXPECT_EQ(out, expected);
}

TEST(HuffmanEncode, LastByteIsPaddedWithOneBits) {
  const Bytes out = Encode(Bytes(1025, 0x41));
  ASSERT_EQ(out.size(), 146u);
  EXPECT_EQ(out.back(), 0x7F);
}

TEST(HuffmanEncode, ThreeValuesGetCanonicalCodesOfLengthOneTwoThree) {
  const Bytes input = Repeated({{0x00, 600}, {0x01, 300}, {0x02, 124}});
  const Bytes out = Encode(input);
  ASSERT_EQ(out.size(), 216u);
  EXPECT_EQ(Counts(out), (Bytes{1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 19), (Bytes{0x00, 0x01, 0x02}));
  // 600 zeros, then 300 x "10": bytes 0x00 and 0xAA; then 124 x "110" and padding.
  EXPECT_EQ(out[19], 0x00);
  EXPECT_EQ(out[19 + 75], 0xAA);
  EXPECT_EQ(out[19 + 75 + 75], 0xDB);  // 110 110 11
  // 1572 code bits: the last byte holds "0110", the tail of the last codes,
  // and four bits of padding.
  EXPECT_EQ(out.back(), 0x6F);
}

TEST(HuffmanEncode, UniformBytesAreDeclined) {
  Bytes input;
  for (int i = 0; i < 1024; ++i) input.push_back(static_cast<uint8_t>(i));
  EXPECT_TRUE(Encode(input).empty());
}

TEST(HuffmanEncode, LengthsAbove16AreFoldedIntoShorterOnes) {
  const Bytes input = FibonacciInput(18);
  ASSERT_EQ(input.size(), 10944u);
  const Bytes out = Encode(input);
  ASSERT_EQ(out.size(), 3612u);
  EXPECT_EQ(Counts(out), (Bytes{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 2, 3}));
  Bytes mostToLeast;
  for (int v = 17; v >= 0; --v) mostToLeast.push_back(static_cast<uint8_t>(v));
  EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 34), mostToLeast);
  EXPECT_EQ(Decode(out, 20000), input);
}

TEST(HuffmanEncode, OutputExactlyAsLongAsItsCapacityIsWritten) {
  const Bytes input = Repeated({{0x00, 600}, {0x01, 300}, {0x02, 124}});
  EXPECT_EQ(Encode(input, 216).size(), 216u);
  EXPECT_TRUE(Encode(input, 215).empty());
}

TEST(HuffmanEncode, WritesNothingPastTheStream) {
  // Capacity exactly the input's size; Encode() checks the bytes after the stream.
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    Bytes input(1024 + rng() % 4000);
    const uint32_t spread = 2 + rng() % 62;  // at most 6 bits a byte: always shrinks
    for (auto& b : input) b = static_cast<uint8_t>(rng() % spread);
    const Bytes out = Encode(input);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(Decode(out, static_cast<uint32_t>(input.size())), input) << "round " << round;
  }
}

TEST(HuffmanEncode, TwoHundredFiftySixCodesOfOneLengthDoNotOverflowTheCounts) {
  Bytes input(800, 0x00);
  for (int v = 1; v < 256; ++v) input.push_back(static_cast<uint8_t>(v));
  const Bytes out = Encode(input);
  ASSERT_FALSE(out.empty());
  // 0x00 alone at length 1; the 255 others and the reserved code at 9.
  EXPECT_EQ(Counts(out), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Decode(out, static_cast<uint32_t>(input.size()) + 256), input);
}

TEST(HuffmanEncode, TreesDeeperThan31LevelsStillGiveAValidStream) {
  // 32 values of Fibonacci frequencies reach depth 32 before limiting.
  const Bytes input = FibonacciInput(32);
  const Bytes out = Encode(input);
  ASSERT_FALSE(out.empty());
  const Bytes counts = Counts(out);
  EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 32);
  EXPECT_EQ(counts[0], 1);
  EXPECT_EQ(out[16], 31);  // the most frequent value has the shortest code
  EXPECT_EQ(Decode(out, static_cast<uint32_t>(input.size())), input);
}

TEST(HuffmanRoundTrip, DecodesExactlyTheEncodedBytes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    const uint32_t n = 1024 + rng() % 50000;
    Bytes input(n);
    const uint32_t spread = 1 + rng() % 255;
    for (auto& b : input) b = static_cast<uint8_t>(rng() % spread * (rng() % 3 == 0 ? 1 : 0));
    const Bytes out = Encode(input, n + 300);  // capacity above n: never declines on size
    ASSERT_FALSE(out.empty());
    ASSERT_EQ(Decode(out, n + 256), input) << "round " << round;
  }
}

TEST(HuffmanDecode, StopsAtCapacityWithBitsLeft) {
  const Bytes out = Encode(Bytes(1024, 0x41));
  EXPECT_EQ(Decode(out, 100), Bytes(100, 0x41));
  EXPECT_TRUE(Decode(out, 0).empty());
}

TEST(HuffmanDecode, RejectsTablesThatCannotBeCanonical) {
  Bytes tooMany(16, 0);
  tooMany[7] = 255;  // 255 codes of length 8 and 2 of length 9: 257 values
  tooMany[8] = 2;
  tooMany.resize(16 + 257 + 16, 0);
  EXPECT_TRUE(Decode(tooMany, 1000).empty());

  Bytes overSubscribed(16, 0);
  overSubscribed[0] = 3;  // three one-bit codes
  overSubscribed.insert(overSubscribed.end(), {1, 2, 3, 0x00, 0x00});
  EXPECT_TRUE(Decode(overSubscribed, 1000).empty());

  Bytes full(16, 0);
  full[0] = 2;  // "0" and "1": complete, accepted
  full.insert(full.end(), {7, 9, 0x5F});
  EXPECT_EQ(Decode(full, 1000), (Bytes{7, 9, 7, 9, 9, 9, 9, 9}));
}

TEST(HuffmanDecode, RejectsTruncatedTables) {
  EXPECT_TRUE(Decode(Bytes(15, 0), 1000).empty());
  Bytes shortValues(16, 0);
  shortValues[3] = 5;
  shortValues.insert(shortValues.end(), {1, 2, 3, 4});
  EXPECT_TRUE(Decode(shortValues, 1000).empty());
}

TEST(HuffmanDecode, SixteenBitsMatchingNoCodeFailTheStream) {
  Bytes table(16, 0);
  table[0] = 1;  // only "0"
  table.push_back(0x61);
  Bytes ranOut = table;
  ranOut.insert(ranOut.end(), {0x00, 0xFF});  // eight codes, then eight bits of padding
  EXPECT_EQ(Decode(ranOut, 100), Bytes(8, 0x61));
  Bytes garbage = table;
  garbage.insert(garbage.end(), {0x00, 0xFF, 0xFF});
  EXPECT_TRUE(Decode(garbage, 100).empty());
}

TEST(HuffmanDecode, PartialCodeAtTheEndIsDropped) {
  Bytes stream(16, 0);
  stream[1] = 1;  // "00"
  stream[2] = 1;  // "010"
  // 0000 0001: "00" "00" "00", then "01" lacks its third bit.
  stream.insert(stream.end(), {0x0A, 0x0B, 0x01});
  EXPECT_EQ(Decode(stream, 100), (Bytes{0x0A, 0x0A, 0x0A}));
}

}  // namespace
