#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "HostSession.h"
#include "hooks/ZKHooks.h"

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

Bytes Format(uint32_t token, uint16_t width, uint16_t height) {
  return BytesOf(DisplayFormatMessage{token, width, height});
}

// A 16 x 16 update at the frame's corner, its stream a few bytes of noise.
Bytes SomeUpdate(uint32_t token) {
  static const Bytes stream = {0x03, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  return BytesOf(DisplayUpdateMessage{token, 0, 0, 16, 16, static_cast<uint32_t>(stream.size()),
                                      stream.data()});
}

// Entry i is the grey i.
Bytes Palette(uint32_t token) {
  Bytes entries;
  for (uint32_t i = 0; i < kPaletteEntryCount; ++i) {
    const uint8_t grey = static_cast<uint8_t>(i);
    entries.insert(entries.end(), {grey, grey, grey, 0});
  }
  return BytesOf(PaletteMessage{token, entries.data()});
}

template <typename Message>
uint32_t TokenOf(const Bytes& payload) {
  Message message = {};
  EXPECT_TRUE(ParseBytes(payload, &message));
  return message.token;
}

// The capture token that leads a display message or an annotation mode.
uint32_t CaptureTokenOf(const ReceivedEvent& e) {
  switch (e.type) {
    case ZKP_DISPLAYFORMAT: return TokenOf<DisplayFormatMessage>(e.payload);
    case ZKP_DISPLAYUPDATE: return TokenOf<DisplayUpdateMessage>(e.payload);
    case ZKP_PALETTE: return TokenOf<PaletteMessage>(e.payload);
    case ZKP_ANNOTATIONMODE: return TokenOf<AnnotationModeMessage>(e.payload);
    default: ADD_FAILURE() << "no capture token in type " << e.type; return 0;
  }
}

// The events that cannot take effect on a session window showing nothing
// yet, cut one byte short of what their type needs; built with a token.
struct ShortCase {
  std::string name;
  uint32_t type;
  std::function<Bytes(uint32_t token)> whole;
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
      return !OfType(e, ZKP_DISPLAYUPDATE).empty();
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
    return !OfType(TakeQueuedEvents(zk()), ZKP_FULLUPDATE).empty();
  }

  FullUpdate RequestAndParseFullUpdate(uint32_t tag) {
    EXPECT_EQ(zk().RequestFullUpdate(tag), 1);
    EventList events;
    EXPECT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
      return !OfType(e, ZKP_FULLUPDATE).empty();
    }));
    FullUpdate parsed = {};
    EventList answers = OfType(events, ZKP_FULLUPDATE);
    if (!answers.empty()) {
      EXPECT_TRUE(ParseFullUpdate(answers.front().payload, &parsed));
    }
    return parsed;
  }

  void ExpectWholeFrameRecords(const FullUpdate& update) {
    RECT client;
    GetClientRect(window_, &client);
    for (const ReceivedEvent& r : update.records)
      EXPECT_EQ(CaptureTokenOf(r), kPresenterToken) << "record of type " << r.type;
    const Bytes formatBytes = OfType(update.records, ZKP_DISPLAYFORMAT).front().payload;
    ASSERT_EQ(formatBytes.size(), kDisplayFormatSize);
    DisplayFormatMessage format;
    ASSERT_TRUE(ParseBytes(formatBytes, &format));
    EXPECT_EQ(format.width, client.right);
    EXPECT_EQ(format.height, client.bottom);

    const Bytes wholeBytes = OfType(update.records, ZKP_DISPLAYUPDATE).front().payload;
    DisplayUpdateMessage whole;
    ASSERT_TRUE(ParseBytes(wholeBytes, &whole));
    EXPECT_EQ(wholeBytes.size(), DisplayUpdateSize(whole.streamLength));
    EXPECT_EQ(BytesOf(whole), wholeBytes) << "update kind 1, trailing byte 0";
    EXPECT_EQ(whole.left, 0);
    EXPECT_EQ(whole.top, 0);
    EXPECT_EQ(whole.width, format.width);
    EXPECT_EQ(whole.height, format.height);

    const Bytes modeBytes = OfType(update.records, ZKP_ANNOTATIONMODE).front().payload;
    ASSERT_EQ(modeBytes.size(), kAnnotationModeSize);
    AnnotationModeMessage mode;
    ASSERT_TRUE(ParseBytes(modeBytes, &mode));
    EXPECT_EQ(mode.on, 0) << "annotation mode is off";
  }
};

TEST_F(HostPayloads, AFullUpdateInSixteenBitModeHasNoPalette) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  FullUpdate update = RequestAndParseFullUpdate(0x5150);
  EXPECT_EQ(update.tag, 0x5150u);
  std::vector<uint32_t> expected = {ZKP_DISPLAYFORMAT, ZKP_DISPLAYUPDATE,
                                    ZKP_ANNOTATIONMODE};
  ASSERT_EQ(TypesOf(update.records), expected);
  ExpectWholeFrameRecords(update);
}

TEST_F(HostPayloads, AFullUpdateInEightBitModeHasThePaletteBetweenFormatAndUpdate) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n[CompressionMgr]\nEnableRLE565=0\nEnableRLE332=1\n");
  FullUpdate update = RequestAndParseFullUpdate(0x332);
  EXPECT_EQ(update.tag, 0x332u);
  std::vector<uint32_t> expected = {ZKP_DISPLAYFORMAT, ZKP_PALETTE, ZKP_DISPLAYUPDATE,
                                    ZKP_ANNOTATIONMODE};
  ASSERT_EQ(TypesOf(update.records), expected);
  EXPECT_EQ(update.records[1].payload.size(), kPaletteSize);
  ExpectWholeFrameRecords(update);
}

TEST_F(HostPayloads, PostEventCopiesThePayloadSoTheHostMayReuseItsBuffer) {
  ASSERT_TRUE(Start());
  Bytes buffer = Format(1, 2000, 2000);
  HostEvent event = {ZKP_DISPLAYFORMAT, static_cast<uint32_t>(buffer.size()), buffer.data()};
  ASSERT_EQ(zk().PostEvent(&event), 1);
  Bytes small = Format(1, 16, 16);
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
  // Every type but the annotation leads with a token.
  const std::vector<ShortCase> cases = {
      {"display format", ZKP_DISPLAYFORMAT, [](uint32_t t) { return Format(t, 2000, 2000); }},
      {"display update", ZKP_DISPLAYUPDATE, SomeUpdate},
      {"palette", ZKP_PALETTE, Palette},
      {"annotation mode", ZKP_ANNOTATIONMODE,
       [](uint32_t t) { return BytesOf(AnnotationModeMessage{t, 1}); }},
      {"annotation", ZKP_ANNOTATION,
       [](uint32_t) { return BytesOf(AnnotationMessage{kAnnotationHighlight, 1, 0, 0, 0, 0, 0}); }},
  };
  uint32_t base = 0;
  for (const ShortCase& c : cases) {
    SCOPED_TRACE(c.name);
    base += 1000;
    ASSERT_TRUE(Deliver(c.type, c.whole(base + 900), 1));
    EXPECT_FALSE(HasScrollBars(window_));
    ASSERT_TRUE(Deliver(ZKP_DISPLAYFORMAT, Format(base + 1, 2000, 2000)));
    EXPECT_TRUE(HasScrollBars(window_)) << "the valid format after it was refused";
    ASSERT_TRUE(Deliver(ZKP_DISPLAYFORMAT, Format(base + 1, 16, 16)));
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
    for (const ReceivedEvent& e : OfType(TakeQueuedEvents(zk()), ZKP_MOUSEUPDATE))
      tokens.push_back(TokenOf<MouseMessage>(e.payload));
    return tokens;
  };
  Bytes position = BytesOf(MouseMessage{20, WM_MOUSEMOVE, 0, PackedPoint{1, 1}});
  ASSERT_TRUE(Deliver(ZKP_MOUSEPOSITION, position, 1));
  EXPECT_EQ(clickTokens(10), std::vector<uint32_t>{10});
  ASSERT_TRUE(Deliver(ZKP_MOUSEPOSITION, position));
  EXPECT_TRUE(clickTokens(11).empty()) << "the valid position did not take control away";
}

// Read, the short record's higher token would make the viewer refuse the
// record after it, whose frame needs scroll bars.
TEST_F(HostPayloads, ShortRecordsOfAReceivedFullUpdateAreDroppedAlone) {
  ASSERT_TRUE(Start());
  Bytes shortFormat = Format(900, 16, 16);
  shortFormat.pop_back();
  EventList records = {{ZKP_DISPLAYFORMAT, shortFormat},
                       {ZKP_DISPLAYFORMAT, Format(1, 2000, 2000)}};
  ASSERT_TRUE(Deliver(ZKP_FULLUPDATE, FullUpdatePayload(7, records)));
  EXPECT_TRUE(HasScrollBars(window_));
}

// A viewer in control keeps it when the presenter's pointer comes with its
// own token, gives it up to a higher one, and sends nothing while annotation
// mode is on.
TEST_F(HostPayloads, AViewerSendsInputUnderItsTokenUntilAHigherOneOrAnnotation) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(zk().EnableInputControl(1, 10), 1);
  auto clickTokens = [&](uint32_t x) {
    EXPECT_TRUE(PostMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5)));
    EXPECT_TRUE(spy_.Fence());
    std::vector<uint32_t> tokens;
    for (const ReceivedEvent& e : OfType(TakeQueuedEvents(zk()), ZKP_MOUSEUPDATE))
      tokens.push_back(TokenOf<MouseMessage>(e.payload));
    return tokens;
  };
  ASSERT_TRUE(Deliver(ZKP_MOUSEPOSITION, BytesOf(MouseMessage{10, WM_MOUSEMOVE, 0, {1, 1}})));
  EXPECT_EQ(clickTokens(10), std::vector<uint32_t>{10}) << "its own token took control away";
  ASSERT_TRUE(Deliver(ZKP_MOUSEPOSITION, BytesOf(MouseMessage{11, WM_MOUSEMOVE, 0, {1, 1}})));
  EXPECT_TRUE(clickTokens(11).empty()) << "a higher token did not take control away";

  ASSERT_EQ(zk().EnableInputControl(1, 12), 1);
  EXPECT_EQ(clickTokens(12), std::vector<uint32_t>{12});
  ASSERT_EQ(zk().EnableAnnotation(1), 1);
  ASSERT_EQ(zk().AddHighlight(), 1);  // enters annotation mode
  EXPECT_TRUE(clickTokens(13).empty()) << "input went out in annotation mode";
}

// Tokens come from one service and never repeat; should two participants
// hold the same one anyway, the presenter gives up what it holds: its own
// keys stop going out, and it stops presenting.
TEST_F(HostPayloads, APresenterMeetingItsOwnTokensGivesUpInputAndCapture) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  auto ownKeys = [&] {
    EXPECT_TRUE(PostMessageA(window_, WM_KEYDOWN, 'A', 0x001E0001));
    EXPECT_TRUE(spy_.Fence());
    return OfType(TakeQueuedEvents(zk()), ZKP_KEYBOARDUPDATE).size();
  };
  EXPECT_EQ(ownKeys(), 1u);
  ASSERT_TRUE(Deliver(ZKP_MOUSEUPDATE,
                      BytesOf(MouseMessage{kPresenterInputToken, WM_MOUSEMOVE, 0, {300, 200}})));
  EXPECT_TRUE(OfType(TakeQueuedEvents(zk()), ZKP_CANCELINPUTCONTROL).empty());
  EXPECT_EQ(ownKeys(), 0u) << "input control stayed with two holders of one token";

  EXPECT_TRUE(AnswersFullUpdate(1));
  ASSERT_TRUE(Deliver(ZKP_DISPLAYFORMAT, Format(kPresenterToken, 64, 64)));
  EXPECT_FALSE(AnswersFullUpdate(2)) << "capture stayed with two holders of one token";
}

// A presenter answers an input event whose token is below its own with a
// cancel; a short one must go unanswered.
TEST_F(HostPayloads, ShortInputEventsLeaveAPresenterAsItWas) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  for (uint32_t type : {ZKP_MOUSEUPDATE, ZKP_KEYBOARDUPDATE}) {
    SCOPED_TRACE(type);
    Bytes input = type == ZKP_MOUSEUPDATE
                      ? BytesOf(MouseMessage{10, WM_MOUSEMOVE, 0, PackedPoint{3, 3}})
                      : BytesOf(KeyboardMessage{10, WM_KEYDOWN, 'A', 0x001E0001});
    ASSERT_TRUE(Deliver(type, input, 1));
    EXPECT_TRUE(OfType(TakeQueuedEvents(zk()), ZKP_CANCELINPUTCONTROL).empty());
    ASSERT_TRUE(Deliver(type, input));
    EventList cancels = OfType(TakeQueuedEvents(zk()), ZKP_CANCELINPUTCONTROL);
    ASSERT_EQ(cancels.size(), 1u) << "the valid event with a low token was not refused";
    EXPECT_TRUE(cancels.front().payload.empty());
  }
}

// Only key-down and key-up messages (plain and system) are replayed: any other
// number of the keyboard range would be injected as a press without its
// release, and the key would stay down on the presenter's desktop.
TEST_F(HostPayloads, OnlyKeyDownAndKeyUpAreReplayed) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  constexpr uint32_t kViewerToken = kPresenterInputToken + 1;
  constexpr uint32_t kRefusedScan = 0x10, kReplayedScan = 0x11;  // Q and W
  for (uint32_t message : {0x102u, 0x103u, 0x106u, 0x107u, 0x108u, 0x109u}) {
    SCOPED_TRACE(message);
    ASSERT_TRUE(Deliver(ZKP_KEYBOARDUPDATE,
                        BytesOf(KeyboardMessage{kViewerToken, message, 'Q', kRefusedScan << 16 | 1})));
  }
  // The hooks see every key the presenter's desktop gets, in order: once they
  // report W going up, a Q injected before it would have been reported too.
  for (uint32_t message : {WM_KEYDOWN, WM_KEYUP}) {
    ASSERT_TRUE(Deliver(ZKP_KEYBOARDUPDATE,
                        BytesOf(KeyboardMessage{kViewerToken, message, 'W', kReplayedScan << 16 | 1})));
  }
  auto keyReport = [](uint32_t scan, UINT key) {
    return [=](const SessionSpy::Record& r) {
      return r.message == WM_ZKHOOK_KEY && r.wParam == key && ((r.lParam >> 16) & 0xFF) == scan;
    };
  };
  EXPECT_TRUE(spy_.AwaitTaken(keyReport(kReplayedScan, WM_KEYUP), 1)) << "W was not replayed";
  EXPECT_TRUE(spy_.Taken(keyReport(kRefusedScan, WM_KEYDOWN)).empty()) << "Q was pressed";
  EXPECT_EQ(GetAsyncKeyState('Q') & 0x8000, 0) << "Q is held down";
  keybd_event('Q', kRefusedScan, KEYEVENTF_KEYUP, 0);  // never leave it down for later tests
}

// A peer sending marks without end gets a bounded number of them: each holds
// a brush and a region on every participant. The marks shape the capturing
// presenter's window, so the ones it holds are the ones its region covers
// (GetGuiResources, which would count the handles, is a stub under Wine).
TEST_F(HostPayloads, ReceivedMarksBeyondTheBoundAreRefused) {
  StartPresenter("[ZK]\nCaptureDesktop=1\nEnablePolling=0\n");
  constexpr int kColumns = 10, kRows = 10, kStep = 16;  // 100 places on the 320 x 240 picture
  constexpr size_t kBound = 64;                         // the library's
  for (int i = 0; i < kColumns * kRows; ++i) {
    const int32_t x = i % kColumns * kStep, y = i / kColumns * kStep;
    ASSERT_TRUE(PostReceived(zk(), ZKP_ANNOTATION,
                             BytesOf(AnnotationMessage{kAnnotationMarker, 0, x, y, x + 16, y + 16,
                                                       0x0000FF})));
  }
  ASSERT_TRUE(DispatchNow());

  RECT frame;
  GetWindowRect(window_, &frame);
  POINT origin = {0, 0};
  ClientToScreen(window_, &origin);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window_, region), ERROR);
  size_t marked = 0;
  for (int i = 0; i < kColumns * kRows; ++i) {
    // Just inside each arrow's tip, in window coordinates.
    const int x = i % kColumns * kStep + 2 + (origin.x - frame.left);
    const int y = i / kColumns * kStep + 2 + (origin.y - frame.top);
    marked += PtInRegion(region, x, y) ? 1 : 0;
  }
  DeleteObject(region);
  EXPECT_EQ(marked, kBound) << "marks held: the first ones up to the bound, no more";
}

// A presenter that accepts a display message with a higher capture token
// hands capture over and stops answering full-update requests.
TEST_F(HostPayloads, ShortDisplayEventsLeaveAPresenterPresenting) {
  StartPresenter("[ZK]\nCaptureDesktop=1\n");
  const uint32_t higher = kPresenterToken + 4;
  ASSERT_TRUE(Deliver(ZKP_DISPLAYFORMAT, Format(higher, 64, 64), 1));
  ASSERT_TRUE(Deliver(ZKP_DISPLAYUPDATE, SomeUpdate(higher), 1));
  ASSERT_TRUE(Deliver(ZKP_PALETTE, Palette(higher), 1));
  EXPECT_TRUE(AnswersFullUpdate(1)) << "a short event took capture away";

  ASSERT_TRUE(Deliver(ZKP_DISPLAYFORMAT, Format(higher, 64, 64)));
  EXPECT_FALSE(AnswersFullUpdate(2)) << "the valid format did not take capture away";
}
