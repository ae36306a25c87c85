#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MessageBytes.h"
#include "events/ControlTokenMessages.h"
#include "events/ProtocolMessages.h"

namespace {

using Bytes = std::vector<uint8_t>;

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
  EXPECT_EQ(kHighestProtocolType, 12u);
}

// One message of the catalogue: a record, the bytes its builder must write,
// and the fewest of those bytes its parser accepts.
struct MessageCase {
  std::string name;
  Bytes wire;
  uint32_t accepted;
  std::function<Bytes()> build;
  // Parses `size` bytes; on success hands back what the builder makes of the
  // parsed record, on failure whether the record was left untouched.
  std::function<bool(const uint8_t* payload, uint32_t size, Bytes* rebuilt, bool* untouched)>
      parse;
};

template <typename Message>
MessageCase Case(std::string name, const Message& message, Bytes wire, uint32_t accepted) {
  auto parse = [](const uint8_t* payload, uint32_t size, Bytes* rebuilt, bool* untouched) {
    Message parsed, before;
    std::memset(&parsed, 0xA5, sizeof parsed);
    std::memcpy(&before, &parsed, sizeof parsed);
    if (!ParseMessage(payload, size, &parsed)) {
      *untouched = std::memcmp(&parsed, &before, sizeof parsed) == 0;
      return false;
    }
    *rebuilt = BytesOf(parsed);
    return true;
  };
  return MessageCase{std::move(name), std::move(wire), accepted,
                     [message] { return BytesOf(message); }, parse};
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kStream = TokenPayload(0xA5A5A5A5, 40);
const Bytes kPaletteEntries = [] {
  Bytes entries(kPaletteEntryCount * kPaletteEntrySize);
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = static_cast<uint8_t>(i * 3 + i / 256);
  return entries;
}();

SharedWindowMessage Notepad() {
  SharedWindowMessage message = {1, 0x00010203, {}};
  std::strcpy(message.title, "Notepad");
  return message;
}

std::vector<MessageCase> Catalogue() {
  return {
      Case("display format", DisplayFormatMessage{0xAABBCCDD, 1280, 1024},
           {0xDD, 0xCC, 0xBB, 0xAA, 0x00, 0x05, 0x00, 0x04}, 8),
      // An 8 by 2 rectangle whose stream is 40 bytes: size 58, the stream at
      // 17 to 56, the trailing byte at 57.
      Case("display update",
           DisplayUpdateMessage{0x04030201, 0x1234, 0x0102, 8, 2, 40, kStream.data()},
           Concat(Concat({0x01, 0x02, 0x03, 0x04, 1, 0x34, 0x12, 0x02, 0x01, 8, 0, 2, 0, 40, 0,
                          0, 0},
                         kStream),
                  {0}),
           58),
      Case("palette", PaletteMessage{7, kPaletteEntries.data()},
           Concat({7, 0, 0, 0}, kPaletteEntries), 1028),
      Case("full update header", FullUpdateHeader{0x01020304, 26}, {4, 3, 2, 1, 26, 0, 0, 0}, 8),
      Case("event header", EventHeader{ZKP_ANNOTATIONMODE, 5}, {11, 0, 0, 0, 5, 0, 0, 0}, 8),
      Case("mouse", MouseMessage{0x11223344, 0x0201, 1, PackedPoint{-2, 300}},
           {0x44, 0x33, 0x22, 0x11, 0x01, 0x02, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0x2C, 0x01}, 16),
      Case("keyboard", KeyboardMessage{5, 0x0100, 0x41, 0x001E0001},
           {5, 0, 0, 0, 0x00, 0x01, 0, 0, 0x41, 0, 0, 0, 0x01, 0x00, 0x1E, 0x00}, 16),
      Case("cancel input control", CancelInputControlMessage{}, {}, 0),
      Case("marker", AnnotationMessage{kAnnotationMarker, 0, 120, 30, 136, 46, 0x00FF00FF},
           {1, 0, 120, 0, 0, 0, 30, 0, 0, 0, 136, 0, 0, 0, 46, 0, 0, 0, 0xFF, 0, 0xFF, 0}, 22),
      Case("highlight", AnnotationMessage{kAnnotationHighlight, 0, -10, 40, 50, 60, 0},
           {0, 0, 0xF6, 0xFF, 0xFF, 0xFF, 40, 0, 0, 0, 50, 0, 0, 0, 60, 0, 0, 0, 0, 0, 0, 0}, 22),
      // A clear-all defines only kind and flag: two bytes are enough.
      Case("clear all", AnnotationMessage{kAnnotationClearAll, 1, 0, 0, 0, 0, 0},
           Concat({2, 1}, Bytes(20, 0)), 2),
      Case("end annotation", EndAnnotationMessage{}, {0}, 0),
      Case("annotation mode", AnnotationModeMessage{0x0A0B0C0D, 1}, {0x0D, 0x0C, 0x0B, 0x0A, 1},
           5),
      Case("shared window", Notepad(),
           Concat(Concat({1, 0, 3, 2, 1, 0}, Bytes{'N', 'o', 't', 'e', 'p', 'a', 'd'}),
                  Bytes(256 - 7, 0)),
           262),
      Case("window event", WindowEventMessage{3, 0, 0x00280014, 20, -40},
           {3, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0x28, 0, 20, 0, 0, 0, 0xD8, 0xFF, 0xFF, 0xFF}, 20),
      Case("control request", ControlRequestMessage{}, {}, 0),
      Case("control grant", ControlGrantMessage{0x01020304}, {4, 3, 2, 1}, 4),
      Case("control release", ControlReleaseMessage{}, {}, 0),
  };
}

// The parser sees exactly `size` bytes in a block of that size, so that ASan
// catches a read past the end in the native build.
bool ParseExact(const MessageCase& c, uint32_t size, Bytes* rebuilt, bool* untouched) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size ? size : 1]);
  std::copy(c.wire.begin(), c.wire.begin() + size, block.get());
  return c.parse(block.get(), size, rebuilt, untouched);
}

TEST(ProtocolMessages, BuildersWriteTheCataloguedBytes) {
  for (const MessageCase& c : Catalogue()) EXPECT_EQ(c.build(), c.wire) << c.name;
}

TEST(ProtocolMessages, ParsersReadBackWhatTheBuildersWrote) {
  for (const MessageCase& c : Catalogue()) {
    Bytes rebuilt;
    bool untouched = false;
    ASSERT_TRUE(ParseExact(c, static_cast<uint32_t>(c.wire.size()), &rebuilt, &untouched))
        << c.name;
    EXPECT_EQ(rebuilt, c.wire) << c.name;
    ASSERT_TRUE(ParseExact(c, c.accepted, &rebuilt, &untouched)) << c.name;
  }
}

TEST(ProtocolMessages, ParsersRefuseOneByteShortAndLeaveTheirRecordUntouched) {
  for (const MessageCase& c : Catalogue()) {
    if (c.accepted == 0) continue;  // nothing is read: no payload is short
    Bytes rebuilt;
    bool untouched = false;
    EXPECT_FALSE(ParseExact(c, c.accepted - 1, &rebuilt, &untouched)) << c.name;
    EXPECT_TRUE(untouched) << c.name;
    EXPECT_FALSE(c.parse(nullptr, c.accepted, &rebuilt, &untouched)) << c.name << ": null";
  }
}

TEST(ProtocolMessages, MessagesWithNothingToReadParseFromNothing) {
  CancelInputControlMessage cancel;
  EndAnnotationMessage end;
  EXPECT_TRUE(ParseMessage(nullptr, 0, &cancel));
  EXPECT_TRUE(ParseMessage(nullptr, 0, &end));
  EXPECT_EQ(MessageSize(cancel), 0u);
}

TEST(ProtocolMessages, AnnotationFieldsAKindDoesNotDefineReadAsZero) {
  // A highlight's colour carries no value; a clear-all has no rectangle.
  const Bytes highlight =
      WireFields().U8(kAnnotationHighlight).U8(0).Bytes(Bytes(16, 1)).U32(0xFFFFFF).Get();
  AnnotationMessage parsed = {};
  ASSERT_TRUE(ParseMessage(highlight.data(), static_cast<uint32_t>(highlight.size()), &parsed));
  EXPECT_EQ(parsed.left, 0x01010101);
  EXPECT_EQ(parsed.colour, 0u);
  const Bytes clearAll = WireFields().U8(kAnnotationClearAll).U8(1).Bytes(Bytes(20, 1)).Get();
  ASSERT_TRUE(ParseMessage(clearAll.data(), static_cast<uint32_t>(clearAll.size()), &parsed));
  EXPECT_EQ(parsed.flag, 1);
  EXPECT_EQ(parsed.left, 0);
  EXPECT_EQ(parsed.colour, 0u);
  // Kinds the library does not know are read as far as the kind, for the
  // receiver to refuse.
  const Bytes unknown = {7, 0};
  ASSERT_TRUE(ParseMessage(unknown.data(), 2, &parsed));
  EXPECT_EQ(parsed.kind, 7);
}

TEST(ProtocolMessages, SharedWindowTitlesAreCutAndTerminated) {
  SharedWindowMessage message = {5, 9, {}};
  std::memset(message.title, 'x', sizeof message.title);  // no terminator at all
  const Bytes wire = BytesOf(message);
  ASSERT_EQ(wire.size(), kSharedWindowSize);
  EXPECT_EQ(wire[wire.size() - 2], 'x');
  EXPECT_EQ(wire.back(), 0);

  Bytes hostile = wire;
  hostile.back() = 'y';
  SharedWindowMessage parsed = {};
  ASSERT_TRUE(ParseMessage(hostile.data(), kSharedWindowSize, &parsed));
  EXPECT_EQ(std::strlen(parsed.title), kSharedWindowTitleSize - 1);
}

TEST(ProtocolMessages, DisplayUpdateLongerThanItsStreamIsAccepted) {
  const Bytes stream = TokenPayload(0, 4);
  Bytes update = BytesOf(DisplayUpdateMessage{1, 0, 0, 4, 1, 4, stream.data()});
  update.resize(update.size() + 3, 0);
  DisplayUpdateMessage u{};
  ASSERT_TRUE(ParseMessage(update.data(), static_cast<uint32_t>(update.size()), &u));
  EXPECT_EQ(u.streamLength, 4u);
  EXPECT_EQ(Bytes(u.stream, u.stream + 4), stream);
}

TEST(ProtocolMessages, DisplayUpdateWhoseStreamOverrunsThePayloadIsRefused) {
  for (uint32_t claimed : {5u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFEEu}) {
    const Bytes update = WireFields()
                             .U32(1)
                             .U8(1)
                             .U16(0)
                             .U16(0)
                             .U16(4)
                             .U16(1)
                             .U32(claimed)
                             .Bytes(TokenPayload(0, 4))
                             .U8(0)
                             .Get();
    const uint32_t size = static_cast<uint32_t>(update.size());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    std::copy(update.begin(), update.end(), exact.get());
    DisplayUpdateMessage u{};
    EXPECT_FALSE(ParseMessage(exact.get(), size, &u)) << claimed;
  }
}

}  // namespace
