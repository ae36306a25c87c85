#include <gtest/gtest.h>

#include <vector>

#include "EventPeek.h"

namespace {
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> DisplayFormat(uint16_t width, uint16_t height) {
  std::vector<uint8_t> p;
  PutU32(p, 7);  // token
  p.push_back(width & 0xFF), p.push_back(width >> 8);
  p.push_back(height & 0xFF), p.push_back(height >> 8);
  return p;
}

// A container with the given tag holding (type, payload) records.
std::vector<uint8_t> Container(uint32_t tag,
                               const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& records) {
  std::vector<uint8_t> body;
  for (const auto& r : records) {
    PutU32(body, r.first);
    PutU32(body, static_cast<uint32_t>(r.second.size()));
    body.insert(body.end(), r.second.begin(), r.second.end());
  }
  std::vector<uint8_t> p;
  PutU32(p, tag);
  PutU32(p, static_cast<uint32_t>(body.size()));
  p.insert(p.end(), body.begin(), body.end());
  return p;
}

bool Find(uint32_t type, const std::vector<uint8_t>& p, uint16_t* w, uint16_t* h) {
  return FindFrameSize(type, p.data(), static_cast<uint32_t>(p.size()), w, h);
}
}  // namespace

TEST(EventPeek, FrameSizeComesFromADisplayFormatAloneOrInsideAContainer) {
  uint16_t w = 0, h = 0;
  ASSERT_TRUE(Find(kEventDisplayFormat, DisplayFormat(624, 600), &w, &h));
  EXPECT_EQ(w, 624);
  EXPECT_EQ(h, 600);

  std::vector<uint8_t> palette(1028, 0);
  auto container = Container(0x10002, {{kEventDisplayFormat, DisplayFormat(1920, 1080)},
                                       {kEventPalette, palette},
                                       {kEventDisplayUpdate, std::vector<uint8_t>(20, 0)}});
  ASSERT_TRUE(Find(kEventFullUpdate, container, &w, &h));
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);

  auto nested = Container(1, {{kEventAnnotationMode, {0, 0, 0, 0, 0}},
                              {kEventFullUpdate, Container(2, {{0, DisplayFormat(40, 30)}})}});
  ASSERT_TRUE(Find(kEventFullUpdate, nested, &w, &h));
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);

  uint32_t tag = 0;
  ASSERT_TRUE(ReadContainerTag(container.data(), static_cast<uint32_t>(container.size()), &tag));
  EXPECT_EQ(tag, 0x10002u);
}

TEST(EventPeek, ShortOrLyingPayloadsYieldNothing) {
  uint16_t w = 0, h = 0;
  EXPECT_FALSE(Find(kEventDisplayFormat, std::vector<uint8_t>(7, 0), &w, &h));
  EXPECT_FALSE(Find(kEventDisplayUpdate, DisplayFormat(1, 1), &w, &h));

  // The record claims more bytes than the container holds: not read.
  auto lying = Container(1, {{kEventDisplayFormat, DisplayFormat(64, 64)}});
  lying[12] = 0xFF;  // record size
  EXPECT_FALSE(Find(kEventFullUpdate, lying, &w, &h));
  // The record-byte count claims more than the payload: clipped to it.
  auto clipped = Container(1, {{kEventDisplayFormat, DisplayFormat(64, 48)}});
  clipped[4] = 0xFF, clipped[5] = 0xFF, clipped[6] = 0xFF, clipped[7] = 0xFF;
  ASSERT_TRUE(Find(kEventFullUpdate, clipped, &w, &h));
  EXPECT_EQ(w, 64);
  // Truncated in the middle of the display format record.
  auto truncated = Container(1, {{kEventDisplayFormat, DisplayFormat(64, 48)}});
  truncated.resize(truncated.size() - 3);
  EXPECT_FALSE(Find(kEventFullUpdate, truncated, &w, &h));

  uint32_t tag = 0;
  EXPECT_FALSE(ReadContainerTag(truncated.data(), 7, &tag));
  EXPECT_EQ(DisplayUpdatePixels(std::vector<uint8_t>(16, 1).data(), 16), 0u);
}

TEST(EventPeek, DisplayUpdatePixelsReadsWidthAndHeight) {
  std::vector<uint8_t> update(18 + 4, 0);
  update[9] = 0x40, update[10] = 0x01;  // width 320
  update[11] = 0xF0;                     // height 240
  EXPECT_EQ(DisplayUpdatePixels(update.data(), static_cast<uint32_t>(update.size())), 320u * 240u);
}

TEST(EventPeek, APresenterAcceptsOnlyWhatViewersProduce) {
  for (uint32_t type : {3u, 4u, 6u, 7u, 11u}) EXPECT_TRUE(IsViewerEvent(type)) << type;
  for (uint32_t type : {0u, 1u, 2u, 5u, 8u, 9u, 10u, 12u}) EXPECT_FALSE(IsViewerEvent(type)) << type;
}
