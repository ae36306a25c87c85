#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ContainerBuilder.h"
#include "events/ProtocolMessages.h"

namespace {

std::string Name(uint32_t type) {
  char name[kProtocolTypeNameCapacity];
  FormatProtocolTypeName(type, name);
  return name;
}

TEST(ProtocolCatalogue, NumbersAndDebugNames) {
  EXPECT_EQ(Name(ZKP_DISPLAYFORMAT), "ZKP_DISPLAYFORMAT");
  EXPECT_EQ(Name(ZKP_DISPLAYUPDATE), "ZKP_DISPLAYUPDATE");
  EXPECT_EQ(Name(2), "ZKP_FULLUPDATE");
  EXPECT_EQ(Name(3), "ZKP_MOUSEUPDATE");
  EXPECT_EQ(Name(4), "ZKP_KEYBOARDUPDATE");
  EXPECT_EQ(Name(5), "ZKP_SHAREDWINDOW");
  EXPECT_EQ(Name(6), "ZKP_ANNOTATION");
  EXPECT_EQ(Name(7), "ZKP_ENDANNOTATION");
  EXPECT_EQ(Name(8), "ZKP_CANCELINPUTCONTROL");
  EXPECT_EQ(Name(9), "ZKP_WINDOWEVENT");
  // Beyond 9 the catalogue names are not used for tracing.
  EXPECT_EQ(Name(ZKP_MOUSEPOSITION), "Unknow Type: 10");
  EXPECT_EQ(Name(ZKP_PALETTE), "Unknow Type: 12");
  EXPECT_EQ(Name(255), "Unknow Type: 255");
  EXPECT_EQ(Name(0xFFFFFFFF), "Unknow Type: -1");
  EXPECT_EQ(ZKP_MOUSEPOSITION, 10u);
  EXPECT_EQ(ZKP_ANNOTATIONMODE, 11u);
  EXPECT_EQ(ZKP_PALETTE, 12u);
}

TEST(ProtocolCatalogue, MinimumSizesOfReceivedTypes) {
  EXPECT_EQ(MinimumPayloadSize(ZKP_DISPLAYFORMAT), 8u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_DISPLAYUPDATE), 18u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_MOUSEUPDATE), 16u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_KEYBOARDUPDATE), 16u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_MOUSEPOSITION), 16u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_ANNOTATIONMODE), 5u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_PALETTE), 1028u);
  EXPECT_EQ(MinimumPayloadSize(ZKP_ANNOTATION), 2u);
  EXPECT_EQ(RequiredAnnotationSize(kAnnotationHighlight), 22u);
  EXPECT_EQ(RequiredAnnotationSize(kAnnotationMarker), 22u);
  EXPECT_EQ(RequiredAnnotationSize(kAnnotationClearAll), 2u);
  for (uint32_t type : {ZKP_SHAREDWINDOW, ZKP_ENDANNOTATION, ZKP_CANCELINPUTCONTROL, 13u}) {
    EXPECT_EQ(MinimumPayloadSize(type), 0u) << type;
  }
}

TEST(ProtocolCatalogue, AnnotationCompletenessDependsOnItsKind) {
  std::vector<uint8_t> p(kAnnotationSize, 0);
  for (uint8_t kind : {kAnnotationHighlight, kAnnotationMarker}) {
    p[0] = kind;
    EXPECT_TRUE(PayloadIsComplete(ZKP_ANNOTATION, p.data(), kAnnotationSize));
    EXPECT_FALSE(PayloadIsComplete(ZKP_ANNOTATION, p.data(), kAnnotationSize - 1));
  }
  p[0] = kAnnotationClearAll;
  EXPECT_TRUE(PayloadIsComplete(ZKP_ANNOTATION, p.data(), 2));
  EXPECT_FALSE(PayloadIsComplete(ZKP_ANNOTATION, p.data(), 1));
  EXPECT_FALSE(PayloadIsComplete(ZKP_ANNOTATION, nullptr, 0));
  EXPECT_FALSE(PayloadIsComplete(ZKP_MOUSEUPDATE, nullptr, 16));
  EXPECT_TRUE(PayloadIsComplete(ZKP_CANCELINPUTCONTROL, nullptr, 0));
}

TEST(ProtocolBuilders, DisplayUpdateOfAnEightByTwoRectangle) {
  const std::vector<uint8_t> stream = TokenPayload(0xA5A5A5A5, 40);
  const uint32_t size = DisplayUpdateSize(40);
  ASSERT_EQ(size, 58u);
  std::vector<uint8_t> out(size, 0xCC);
  WriteDisplayUpdate(out.data(), 0x04030201, DisplayRect{0x1234, 0x0102, 8, 2}, stream.data(), 40);
  const std::vector<uint8_t> fields = {0x01, 0x02, 0x03, 0x04, 1,  0x34, 0x12, 0x02, 0x01,
                                       8,    0,    2,    0,    40, 0,    0,    0};
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 17), fields);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 17, out.begin() + 57), stream);
  EXPECT_EQ(out[57], 0);
}

TEST(ProtocolBuilders, DisplayUpdateWithTheStreamAlreadyInPlace) {
  std::vector<uint8_t> out(DisplayUpdateSize(5), 0xCC);
  for (int i = 0; i < 5; ++i) out[kDisplayUpdateStreamOffset + i] = static_cast<uint8_t>(i + 1);
  WriteDisplayUpdate(out.data(), 1, DisplayRect{0, 0, 4, 1},
                     out.data() + kDisplayUpdateStreamOffset, 5);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 17, out.begin() + 22),
            (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(out[22], 0);
}

TEST(ProtocolBuilders, DisplayFormatAndPaletteBytes) {
  uint8_t format[kDisplayFormatSize];
  WriteDisplayFormat(format, 0xAABBCCDD, 1280, 1024);
  EXPECT_EQ(std::vector<uint8_t>(format, format + 8),
            (std::vector<uint8_t>{0xDD, 0xCC, 0xBB, 0xAA, 0x00, 0x05, 0x00, 0x04}));

  uint32_t entries[kPaletteEntryCount];
  for (uint32_t i = 0; i < kPaletteEntryCount; ++i) entries[i] = i;
  entries[1] = 0x00332211;  // red 0x33, green 0x22, blue 0x11
  std::vector<uint8_t> palette(kPaletteSize);
  WritePalette(palette.data(), 7, entries);
  EXPECT_EQ(palette[0], 7);
  EXPECT_EQ(palette[4 + 4], 0x11);  // blue first
  EXPECT_EQ(palette[4 + 5], 0x22);
  EXPECT_EQ(palette[4 + 6], 0x33);
  EXPECT_EQ(palette[4 + 7], 0x00);
  EXPECT_EQ(palette[4 + 4 * 255], 255);
}

TEST(ProtocolBuilders, FullUpdateHeaderAndRecordHeader) {
  uint8_t header[kFullUpdateHeaderSize + kRecordHeaderSize];
  WriteFullUpdateHeader(header, 0x01020304, 26);
  WriteRecordHeader(header + 8, ZKP_ANNOTATIONMODE, 5);
  EXPECT_EQ(std::vector<uint8_t>(header, header + 16),
            (std::vector<uint8_t>{4, 3, 2, 1, 26, 0, 0, 0, 11, 0, 0, 0, 5, 0, 0, 0}));
}

TEST(ProtocolParsers, ReadWhatTheBuildersWrote) {
  uint8_t format[kDisplayFormatSize];
  WriteDisplayFormat(format, 42, 640, 480);
  DisplayFormat f{};
  ASSERT_TRUE(ParseDisplayFormat(format, sizeof format, &f));
  EXPECT_EQ(f.token, 42u);
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 480);

  const std::vector<uint8_t> stream = TokenPayload(3, 12);
  std::vector<uint8_t> update(DisplayUpdateSize(12));
  WriteDisplayUpdate(update.data(), 43, DisplayRect{16, 32, 64, 8}, stream.data(), 12);
  DisplayUpdate u{};
  ASSERT_TRUE(ParseDisplayUpdate(update.data(), static_cast<uint32_t>(update.size()), &u));
  EXPECT_EQ(u.token, 43u);
  EXPECT_EQ(u.left, 16);
  EXPECT_EQ(u.top, 32);
  EXPECT_EQ(u.width, 64);
  EXPECT_EQ(u.height, 8);
  ASSERT_EQ(u.streamLength, 12u);
  EXPECT_EQ(std::vector<uint8_t>(u.stream, u.stream + 12), stream);

  uint32_t entries[kPaletteEntryCount] = {0x00ABCDEF};
  std::vector<uint8_t> palette(kPaletteSize);
  WritePalette(palette.data(), 44, entries);
  Palette p{};
  ASSERT_TRUE(ParsePalette(palette.data(), kPaletteSize, &p));
  EXPECT_EQ(p.token, 44u);
  EXPECT_EQ(p.entries[0], 0xEF);
  EXPECT_EQ(p.entries[2], 0xAB);
}

TEST(ProtocolParsers, DisplayUpdateLongerThanItsStreamIsAccepted) {
  std::vector<uint8_t> update(DisplayUpdateSize(4) + 3, 0);
  WriteDisplayUpdate(update.data(), 1, DisplayRect{0, 0, 4, 1}, TokenPayload(0, 4).data(), 4);
  DisplayUpdate u{};
  ASSERT_TRUE(ParseDisplayUpdate(update.data(), static_cast<uint32_t>(update.size()), &u));
  EXPECT_EQ(u.streamLength, 4u);
}

// Each parser sees its payload in a block of exactly the size given, so that
// ASan catches a read past the end in the native build.
class ShortPayload : public ::testing::Test {
 protected:
  const uint8_t* Exact(const std::vector<uint8_t>& bytes, uint32_t size) {
    block_.reset(new uint8_t[size ? size : 1]);
    std::copy(bytes.begin(), bytes.begin() + size, block_.get());
    return block_.get();
  }

 private:
  std::unique_ptr<uint8_t[]> block_;
};

TEST_F(ShortPayload, EveryParserRefusesOneByteShort) {
  const std::vector<uint8_t> full = TokenPayload(9, kPaletteSize);
  DisplayFormat f{1, 2, 3};
  EXPECT_FALSE(ParseDisplayFormat(Exact(full, kDisplayFormatSize - 1), kDisplayFormatSize - 1, &f));
  EXPECT_EQ(f.token, 1u);  // untouched
  DisplayUpdate u{};
  std::vector<uint8_t> update(kDisplayUpdateOverhead, 0);
  EXPECT_FALSE(ParseDisplayUpdate(Exact(update, kDisplayUpdateOverhead - 1),
                                  kDisplayUpdateOverhead - 1, &u));
  Palette p{};
  EXPECT_FALSE(ParsePalette(Exact(full, kPaletteSize - 1), kPaletteSize - 1, &p));
  uint32_t tag = 0, recordBytes = 0;
  EXPECT_FALSE(ReadFullUpdateHeader(Exact(full, 7), 7, &tag, &recordBytes));
  for (uint32_t type = 0; type <= ZKP_PALETTE; ++type) {
    const uint32_t minimum = MinimumPayloadSize(type);
    if (minimum == 0) continue;
    EXPECT_FALSE(PayloadIsComplete(type, Exact(full, minimum - 1), minimum - 1)) << type;
  }
}

TEST_F(ShortPayload, DisplayUpdateWhoseStreamOverrunsThePayload) {
  for (uint32_t claimed : {5u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFEEu}) {
    std::vector<uint8_t> update(DisplayUpdateSize(4), 0);
    WriteDisplayUpdate(update.data(), 1, DisplayRect{0, 0, 4, 1}, TokenPayload(0, 4).data(), 4);
    for (int i = 0; i < 4; ++i) update[13 + i] = static_cast<uint8_t>(claimed >> (8 * i));
    const uint32_t size = static_cast<uint32_t>(update.size());
    DisplayUpdate u{};
    EXPECT_FALSE(ParseDisplayUpdate(Exact(update, size), size, &u)) << claimed;
  }
}

TEST_F(ShortPayload, NullPayloadIsRefused) {
  DisplayFormat f{};
  DisplayUpdate u{};
  Palette p{};
  EXPECT_FALSE(ParseDisplayFormat(nullptr, kDisplayFormatSize, &f));
  EXPECT_FALSE(ParseDisplayUpdate(nullptr, kDisplayUpdateOverhead, &u));
  EXPECT_FALSE(ParsePalette(nullptr, kPaletteSize, &p));
}

}  // namespace
