#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HostSession.h"

namespace {
constexpr uint32_t kPresenterToken = 5;
constexpr uint32_t kPresenterInputToken = 50;

bool HasScrollBars(HWND window) {
  LONG style = GetWindowLongA(window, GWL_STYLE);
  return (style & (WS_HSCROLL | WS_VSCROLL)) == (WS_HSCROLL | WS_VSCROLL);
}

std::vector<uint32_t> TypesOf(const EventList& events) {
  std::vector<uint32_t> types;
  for (const ReceivedEvent& e : events) types.push_back(e.type);
  return types;
}

Bytes SomeStream() { return Bytes{0x03, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}; }

// The events that cannot take effect on a session window showing nothing
// yet, cut one byte short of what their type needs.
struct ShortCase {
  std::string name;
  uint32_t type;
  Bytes whole;
};
}  // namespace

class HostPayloads : public HostSessionTest {
 protected:
  // A presenter capturing the desktop under a shown session window, holding
  // an input token of its own, with the entry frame taken.
  void StartPresenter(const char* config) {
    ASSERT_TRUE(Start(config));
    ASSERT_TRUE(ShowAt(100, 100, 320, 240));
    ASSERT_EQ(zk().EnableCapture(1, kPresenterToken), 1);
    ASSERT_EQ(zk().EnableInputControl(1, kPresenterInputToken), 1);
    EventList entry;
    ASSERT_TRUE(CollectUntil(zk(), &entry, [](const EventList& e) {
      return !OfType(e, wire::kDisplayUpdate).empty();
    }));
  }

  ::testing::AssertionResult Deliver(uint32_t type, const Bytes& payload, size_t missing = 0) {
    if (!PostReceived(zk(), type, payload, missing))
      return ::testing::AssertionFailure() << "ZK_PostEvent refused the event";
    return DispatchNow();
  }

  // Asks for a full update and reports whether one came: the request is
  // handled before the fence is, so an answer is queued by then if at all.
  bool AnswersFullUpdate(uint32_t tag) {
    if (!zk().RequestFullUpdate(tag) || !spy_.Fence()) return false;
    return !OfType(TakeQueuedEvents(zk()), wire::kFullUpdate).empty();
  }

  FullUpdate RequestAndParseFullUpdate(uint32_t tag) {
    EXPECT_EQ(zk().RequestFullUpdate(tag), 1);
    EventList events;
    EXPECT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
      return !OfType(e, wire::kFullUpdate).empty();
    }));
    FullUpdate parsed = {};
    EventList answers = OfType(events, wire::kFullUpdate);
    if (!answers.empty()) {
      EXPECT_TRUE(ParseFullUpdate(answers.front().payload, &parsed));
    }
    return parsed;
  }

  void ExpectWholeFrameRecords(const FullUpdate& update) {
    RECT client;
    GetClientRect(window_, &client);
    for (const ReceivedEvent& r : update.records) {
      ASSERT_GE(r.payload.size(), 4u);
      EXPECT_EQ(ReadU32(r.payload, 0), kPresenterToken) << "record of type " << r.type;
    }
    const Bytes format = OfType(update.records, wire::kDisplayFormat).front().payload;
    ASSERT_EQ(format.size(), wire::kDisplayFormatSize);
    EXPECT_EQ(ReadU16(format, 4), client.right);
    EXPECT_EQ(ReadU16(format, 6), client.bottom);

    const Bytes whole = OfType(update.records, wire::kDisplayUpdate).front().payload;
    ASSERT_GT(whole.size(), wire::kDisplayUpdateFields);
    uint32_t streamLength = ReadU32(whole, 13);
    EXPECT_EQ(whole.size(), streamLength + 18);
    EXPECT_EQ(whole[4], 1) << "update kind";
    EXPECT_EQ(ReadU16(whole, 5), 0);
    EXPECT_EQ(ReadU16(whole, 7), 0);
    EXPECT_EQ(ReadU16(whole, 9), ReadU16(format, 4));
    EXPECT_EQ(ReadU16(whole, 11), ReadU16(format, 6));
    EXPECT_EQ(whole.back(), 0) << "trailing byte";

    const Bytes mode = OfType(update.records, wire::kAnnotationMode).front().payload;
    ASSERT_EQ(mode.size(), wire::kAnnotationModeSize);
    EXPECT_EQ(mode[4], 0) << "annotation mode is off";
  }
};

TEST_F(HostPayloads, AFullUpdateInSixteenBitModeHasNoPalette) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  FullUpdate update = RequestAndParseFullUpdate(0x5150);
  EXPECT_EQ(update.tag, 0x5150u);
  std::vector<uint32_t> expected = {wire::kDisplayFormat, wire::kDisplayUpdate,
                                    wire::kAnnotationMode};
  ASSERT_EQ(TypesOf(update.records), expected);
  ExpectWholeFrameRecords(update);
}

TEST_F(HostPayloads, AFullUpdateInEightBitModeHasThePaletteBetweenFormatAndUpdate) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n[CompressionMgr]\nEnableRLE565=0\nEnableRLE332=1\n");
  FullUpdate update = RequestAndParseFullUpdate(0x332);
  EXPECT_EQ(update.tag, 0x332u);
  std::vector<uint32_t> expected = {wire::kDisplayFormat, wire::kPalette, wire::kDisplayUpdate,
                                    wire::kAnnotationMode};
  ASSERT_EQ(TypesOf(update.records), expected);
  EXPECT_EQ(update.records[1].payload.size(), wire::kPaletteSize);
  ExpectWholeFrameRecords(update);
}

TEST_F(HostPayloads, PostEventCopiesThePayloadSoTheHostMayReuseItsBuffer) {
  ASSERT_TRUE(Start());
  Bytes buffer = DisplayFormatPayload(1, 2000, 2000);
  HostEvent event = {wire::kDisplayFormat, static_cast<uint32_t>(buffer.size()), buffer.data()};
  ASSERT_EQ(zk().PostEvent(&event), 1);
  Bytes small = DisplayFormatPayload(1, 16, 16);
  buffer.assign(small.begin(), small.end());
  ASSERT_TRUE(DispatchNow());
  EXPECT_TRUE(HasScrollBars(window_)) << "the frame took the host's later bytes";
}

// A viewer's display handlers take the highest capture token they have seen.
// Each short event carries a token above the next valid display format's: had
// a handler read it, the valid format would be refused. Its scroll bars show
// whether the viewer's frame took that format.
TEST_F(HostPayloads, EventsOneByteShortLeaveAViewerAsItWas) {
  ASSERT_TRUE(Start());
  std::vector<ShortCase> cases = {
      {"display format", wire::kDisplayFormat, DisplayFormatPayload(0, 2000, 2000)},
      {"display update", wire::kDisplayUpdate, DisplayUpdatePayload(0, 0, 0, 16, 16, SomeStream())},
      {"palette", wire::kPalette, PalettePayload(0)},
      {"annotation mode", wire::kAnnotationMode, AnnotationModePayload(0, 1)},
      {"annotation", wire::kAnnotation, HighlightPayload()},
  };
  uint32_t base = 0;
  for (ShortCase& c : cases) {
    SCOPED_TRACE(c.name);
    base += 1000;
    // Every type but the annotation leads with a token.
    if (c.type != wire::kAnnotation) {
      Bytes token;
      AppendU32(&token, base + 900);
      std::copy(token.begin(), token.end(), c.whole.begin());
    }

    ASSERT_TRUE(Deliver(c.type, c.whole, 1));
    EXPECT_FALSE(HasScrollBars(window_));
    ASSERT_TRUE(Deliver(wire::kDisplayFormat, DisplayFormatPayload(base + 1, 2000, 2000)));
    EXPECT_TRUE(HasScrollBars(window_)) << "the valid format after it was refused";
    ASSERT_TRUE(Deliver(wire::kDisplayFormat, DisplayFormatPayload(base + 1, 16, 16)));
    EXPECT_FALSE(HasScrollBars(window_));
  }
}

// A short pointer position carrying a higher input token would take input
// control away from the viewer; its clicks show whether it still holds it.
TEST_F(HostPayloads, AShortPointerPositionLeavesTheViewerInControl) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(zk().EnableInputControl(1, 10), 1);
  auto clickTokens = [&](uint32_t x) {
    EXPECT_TRUE(PostMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5)));
    EXPECT_TRUE(spy_.Fence());
    std::vector<uint32_t> tokens;
    for (const ReceivedEvent& e : OfType(TakeQueuedEvents(zk()), wire::kMouseUpdate))
      tokens.push_back(ReadU32(e.payload, 0));
    return tokens;
  };
  Bytes position = InputPayload(20, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  ASSERT_TRUE(Deliver(wire::kMousePosition, position, 1));
  EXPECT_EQ(clickTokens(10), std::vector<uint32_t>{10});
  ASSERT_TRUE(Deliver(wire::kMousePosition, position));
  EXPECT_TRUE(clickTokens(11).empty()) << "the valid position did not take control away";
}

// Read, the short record's higher token would make the viewer refuse the
// record after it, whose frame needs scroll bars.
TEST_F(HostPayloads, ShortRecordsOfAReceivedFullUpdateAreDroppedAlone) {
  ASSERT_TRUE(Start());
  Bytes shortFormat = DisplayFormatPayload(900, 16, 16);
  shortFormat.pop_back();
  EventList records = {{wire::kDisplayFormat, shortFormat},
                       {wire::kDisplayFormat, DisplayFormatPayload(1, 2000, 2000)}};
  ASSERT_TRUE(Deliver(wire::kFullUpdate, FullUpdatePayload(7, records)));
  EXPECT_TRUE(HasScrollBars(window_));
}

// A presenter answers an input event whose token is below its own with a
// cancel; a short one must go unanswered.
TEST_F(HostPayloads, ShortInputEventsLeaveAPresenterAsItWas) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  for (uint32_t type : {wire::kMouseUpdate, wire::kKeyboardUpdate}) {
    SCOPED_TRACE(type);
    Bytes input = type == wire::kMouseUpdate ? InputPayload(10, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3))
                                              : InputPayload(10, WM_KEYDOWN, 'A', 0x001E0001);
    ASSERT_TRUE(Deliver(type, input, 1));
    EXPECT_TRUE(OfType(TakeQueuedEvents(zk()), wire::kCancelInputControl).empty());
    ASSERT_TRUE(Deliver(type, input));
    EventList cancels = OfType(TakeQueuedEvents(zk()), wire::kCancelInputControl);
    ASSERT_EQ(cancels.size(), 1u) << "the valid event with a low token was not refused";
    EXPECT_TRUE(cancels.front().payload.empty());
  }
}

// A presenter that accepts a display message with a higher capture token
// hands capture over and stops answering full-update requests.
TEST_F(HostPayloads, ShortDisplayEventsLeaveAPresenterPresenting) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  const uint32_t higher = kPresenterToken + 4;
  ASSERT_TRUE(Deliver(wire::kDisplayFormat, DisplayFormatPayload(higher, 64, 64), 1));
  ASSERT_TRUE(Deliver(wire::kDisplayUpdate, DisplayUpdatePayload(higher, 0, 0, 16, 16, SomeStream()), 1));
  ASSERT_TRUE(Deliver(wire::kPalette, PalettePayload(higher), 1));
  EXPECT_TRUE(AnswersFullUpdate(1)) << "a short event took capture away";

  ASSERT_TRUE(Deliver(wire::kDisplayFormat, DisplayFormatPayload(higher, 64, 64)));
  EXPECT_FALSE(AnswersFullUpdate(2)) << "the valid format did not take capture away";
}
