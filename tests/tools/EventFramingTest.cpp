#include <gtest/gtest.h>

#include <vector>

#include "EventFraming.h"
#include "events/ControlTokenMessages.h"
#include "events/MessageBytes.h"

namespace {
std::vector<uint8_t> Frame(uint32_t type, std::vector<uint8_t> payload) {
  WireFrame frame = MakeWireFrame(type, static_cast<uint32_t>(payload.size()), payload.data());
  return *frame;
}

std::vector<uint8_t> Header(uint32_t type, uint32_t size) { return BytesOf(EventHeader{type, size}); }
}  // namespace

TEST(EventFraming, AWireFrameIsTypeSizeAndPayloadLittleEndian) {
  std::vector<uint8_t> payload = {0xAA, 0xBB, 0xCC};
  EXPECT_EQ(Frame(12, payload),
            (std::vector<uint8_t>{12, 0, 0, 0, 3, 0, 0, 0, 0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(Frame(8, {}), (std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(EventFraming, EventsComeOutWholeHoweverTheBytesAreCut) {
  std::vector<uint8_t> stream = Frame(1, {1, 2, 3, 4, 5});
  std::vector<uint8_t> second = Frame(8, {});
  std::vector<uint8_t> third = Frame(0, {9, 9, 9, 9, 9, 9, 9, 9});
  stream.insert(stream.end(), second.begin(), second.end());
  stream.insert(stream.end(), third.begin(), third.end());
  for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
    FrameReader reader;
    std::vector<ReceivedEvent> events;
    for (size_t at = 0; at < stream.size(); at += chunk)
      ASSERT_TRUE(reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at), &events));
    ASSERT_EQ(events.size(), 3u) << "chunk " << chunk;
    EXPECT_EQ(events[0].type, 1u);
    EXPECT_EQ(events[0].payload, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(events[1].type, 8u);
    EXPECT_TRUE(events[1].payload.empty());
    EXPECT_EQ(events[2].payload.size(), 8u);
    EXPECT_TRUE(reader.AtFrameBoundary());
  }
}

TEST(EventFraming, AStreamEndingInsideAFrameIsNotAtABoundary) {
  std::vector<uint8_t> stream = Frame(1, {1, 2, 3, 4});
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    FrameReader reader;
    std::vector<ReceivedEvent> events;
    ASSERT_TRUE(reader.Feed(stream.data(), cut, &events));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(reader.AtFrameBoundary()) << "cut after " << cut << " bytes";
  }
}

TEST(EventFraming, UnknownTypesAndHugeSizesAreMalformedAndStopTheReader) {
  FrameReader unknownType;
  std::vector<ReceivedEvent> events;
  std::vector<uint8_t> bad = Header(13, 0);
  EXPECT_FALSE(unknownType.Feed(bad.data(), bad.size(), &events));
  EXPECT_NE(unknownType.Error().find("type 13"), std::string::npos);
  // Nothing after a malformed header is believed, even a well-formed frame.
  std::vector<uint8_t> good = Frame(0, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_FALSE(unknownType.Feed(good.data(), good.size(), &events));
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(unknownType.AtFrameBoundary());

  FrameReader hugeSize;
  bad = Header(1, kMaxFramePayload + 1);
  EXPECT_FALSE(hugeSize.Feed(bad.data(), bad.size(), &events));
  EXPECT_NE(hugeSize.Error().find("payload"), std::string::npos);

  FrameReader largestAllowed;
  std::vector<uint8_t> header = Header(kHighestProtocolType, kMaxFramePayload);
  EXPECT_TRUE(largestAllowed.Feed(header.data(), header.size(), &events));
}

TEST(EventFraming, APayloadIsHeldOnlyAsItsBytesArriveAndWithinTheConnectionsBound) {
  // Twenty-four peers each announcing the largest frame once made a 32-bit
  // presenter run out of memory before a single payload byte had come.
  std::vector<ReceivedEvent> events;
  std::vector<FrameReader> readers(24);
  std::vector<uint8_t> header = Header(ZKP_ANNOTATION, kMaxFramePayload);
  for (FrameReader& reader : readers) {
    ASSERT_TRUE(reader.Feed(header.data(), header.size(), &events));
    EXPECT_EQ(reader.HeldBytes(), 0u);
  }
  std::vector<uint8_t> some(1000, 7);
  ASSERT_TRUE(readers[0].Feed(some.data(), some.size(), &events));
  EXPECT_GE(readers[0].HeldBytes(), some.size());
  EXPECT_LT(readers[0].HeldBytes(), 4 * some.size());
  EXPECT_TRUE(events.empty());

  // Never more than the frame announced, however the bytes come.
  std::vector<uint8_t> frame = Frame(ZKP_DISPLAYUPDATE, std::vector<uint8_t>(5000, 1));
  FrameReader reader;
  for (size_t at = 0; at < frame.size(); at += 999)
    ASSERT_TRUE(reader.Feed(frame.data() + at, std::min<size_t>(999, frame.size() - at), &events));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].payload.capacity(), 5000u);

  FrameReader bounded(1024);
  std::vector<uint8_t> largest = Header(ZKP_ANNOTATION, 1024);
  EXPECT_TRUE(bounded.Feed(largest.data(), largest.size(), &events));
  FrameReader tooLong(1024);
  std::vector<uint8_t> longer = Header(ZKP_ANNOTATION, 1025);
  EXPECT_FALSE(tooLong.Feed(longer.data(), longer.size(), &events));
  EXPECT_NE(tooLong.Error().find("1025"), std::string::npos);
}

TEST(EventFraming, TheHostsTokenServiceTypesTravelAndNothingBeyondThem) {
  std::vector<ReceivedEvent> events;
  FrameReader reader;
  for (uint32_t type : {ZKH_REQUESTCONTROL, ZKH_GRANTCONTROL, ZKH_RELEASECONTROL}) {
    std::vector<uint8_t> frame = Frame(type, {1, 2, 3, 4});
    EXPECT_TRUE(reader.Feed(frame.data(), frame.size(), &events)) << type;
  }
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].type, ZKH_GRANTCONTROL);
  for (uint32_t type : {kFirstHostType - 1, kLastHostType + 1}) {
    FrameReader refusing;
    std::vector<uint8_t> bad = Header(type, 0);
    EXPECT_FALSE(refusing.Feed(bad.data(), bad.size(), &events)) << type;
  }
}

TEST(EventFraming, EventsCompletedBeforeAMalformedHeaderAreStillDelivered) {
  std::vector<uint8_t> stream = Frame(3, {1, 2});
  std::vector<uint8_t> bad = Header(200, 4);
  stream.insert(stream.end(), bad.begin(), bad.end());
  FrameReader reader;
  std::vector<ReceivedEvent> events;
  EXPECT_FALSE(reader.Feed(stream.data(), stream.size(), &events));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, 3u);
}
