#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/HostMemory.h"
#include "compression/CompressionMgr.h"
#include "events/EventMgrTestPeer.h"
#include "events/ProtocolMessages.h"
#include "session/ProcessCensus.h"
#include "session/TestSession.h"

namespace {
const COLORREF kGrey = RGB(128, 128, 128);
const COLORREF kMarker = RGB(255, 0, 0);
constexpr uint64_t kMiB = 1 << 20;

ZKWindow& Session() { return TestSession(); }

class FrameMgrTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteFileA("ZK.ini"); }
  void TearDown() override {
    EventMgrTestPeer::Clear(Session());
    Session().Release();
    if (under_) DestroyWindow(under_);
    DeleteFileA("ZK.ini");
  }

  static void WriteConfig(const char* text) {
    FILE* f = std::fopen("ZK.ini", "w");
    std::fputs(text, f);
    std::fclose(f);
  }

  // Starts the session and shows its window at (100, 100), 320 x 240.
  HWND Show() {
    EXPECT_TRUE(Session().Init(GetModuleHandleA(nullptr), nullptr));
    HWND window = Session().GetWindow();
    Session().SetPosition(100, 100, 320, 240, true);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
    return window;
  }

  // A black window where the session window captures, so that the screen
  // there differs from the grey a capture starts from.
  void PutBlackUnderTheCaptureArea() {
    under_ = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_BLACKRECT,
                             100, 100, 320, 240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(under_, nullptr);
  }

  // Takes every queued event, freeing each payload as a host does.
  static std::vector<DisplayUpdateMessage> TakeUpdates(bool* formatSent) {
    std::vector<DisplayUpdateMessage> updates;
    Event event;
    while (Session().GetQueuedEvent(&event)) {
      DisplayUpdateMessage update;
      if (event.type == ZKP_DISPLAYFORMAT) *formatSent = true;
      if (event.type == ZKP_DISPLAYUPDATE && ParseMessage(event.payload, event.size, &update))
        updates.push_back(update);  // fields only: the stream is freed below
      HostFree(event.payload);
    }
    return updates;
  }

  HWND under_ = nullptr;
};

std::vector<uint8_t> Uniform(int width, int height, COLORREF colour) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < pixels.size(); i += 3) {
    pixels[i] = GetBValue(colour);
    pixels[i + 1] = GetGValue(colour);
    pixels[i + 2] = GetRValue(colour);
  }
  return pixels;
}
}  // namespace

// The reference frame is what the viewers hold: what the queue could not
// take (no memory for a copy) must go out again once it takes events,
// the bands of the picture as well as the format and frame of its start.
TEST_F(FrameMgrTest, WhatTheQueueRefusedIsSentOnceItTakesEventsAgain) {
  WriteConfig("[ZK]\nCaptureDesktop=1\nPollInterval=50\n");
  PutBlackUnderTheCaptureArea();
  HWND window = Show();
  EventMgrTestPeer::FailAfter(Session(), EventMgrTestPeer::Allocation::OUTGOING_PAYLOAD, 0);
  PostMessageA(window, WM_ZK_ENABLECAPTURE, 1, 5);
  // The format, the grey entry frame and the black bands are refused, the
  // bands again at every pass: they differ from what the viewers hold.
  ASSERT_TRUE(PumpUntil([] { return EventMgrTestPeer::Refused() >= 40; }, 20000))
      << "refused bands were not tried again";
  EventMgrTestPeer::Clear(Session());

  bool formatSent = false, bandSent = false;
  PumpUntil(
      [&] {
        const int32_t frameWidth = Session().GetFrameFormat().Width();
        for (const DisplayUpdateMessage& u : TakeUpdates(&formatSent))
          bandSent |= u.width < frameWidth || u.height < 240;
        return formatSent && bandSent;
      },
      10000);
  EXPECT_TRUE(formatSent) << "the viewers were never told the frame's size";
  EXPECT_TRUE(bandSent) << "the refused bands went into the reference all the same";
}

// A poll compares what it grabbed with the reference: only the rows between
// the first and the last that changed are compressed and sent.
TEST_F(FrameMgrTest, OnlyTheRowsThatChangedAreSent) {
  WriteConfig("[ZK]\nCaptureDesktop=1\nPollInterval=50\n");
  PutBlackUnderTheCaptureArea();
  HWND window = Show();
  PostMessageA(window, WM_ZK_ENABLECAPTURE, 1, 5);
  // The entry frame is grey; once the reference (what the viewers hold) is
  // as dark as the window under it around rows 100 to 109, their band has
  // gone out.
  auto referenceIsDark = [] {
    const FrameFormat& format = Session().GetFrameFormat();
    const uint8_t* frame = Session().GetFrameBuffer();
    if (!frame || format.Width() != 320 || format.Height() != 240) return false;
    const size_t stride = 320 * 3;
    const uint8_t* first = frame + (240 - 130) * stride;  // bottom-up: row 129 comes first
    const uint8_t dark = first[0];
    return dark < 128 &&
           std::all_of(first, first + 40 * stride, [dark](uint8_t b) { return b == dark; });
  };
  bool formatSent = false;
  ASSERT_TRUE(PumpUntil(
      [&] {
        TakeUpdates(&formatSent);  // a full queue would hold the rest back
        return referenceIsDark();
      },
      20000))
      << "the dark area was never sent";
  TakeUpdates(&formatSent);

  // Rows 100 to 109 of the capture area turn white, within one band. Drawn
  // straight into the window, without a message: the hooks have nothing to
  // report, so the band's poll finds it.
  HDC dc = GetDC(under_);
  RECT whiteRows = {50, 100, 90, 110};
  FillRect(dc, &whiteRows, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(under_, dc);
  DisplayUpdateMessage found = {};
  bool sent = PumpUntil(
      [&] {
        for (const DisplayUpdateMessage& u : TakeUpdates(&formatSent))
          if (u.top < 110 && u.top + u.height > 100) found = u;
        return found.height != 0;
      },
      10000);
  ASSERT_TRUE(sent) << "the change was never sent";
  EXPECT_EQ(found.top, 100);
  EXPECT_EQ(found.height, 10);
  EXPECT_EQ(found.left, 0);
  EXPECT_EQ(found.width, 320);
}

// A display format from a peer may claim up to 65535 x 65535 pixels: the
// frame, scratch and work buffers and the decoder's two buffers of one
// format are bounded together, so that no format can take a 32-bit host's
// memory, while an 8K frame still fits.
TEST_F(FrameMgrTest, AFormatBeyondTheBoundIsRefusedWhileEightKIsTaken) {
  HWND window = Show();
  PostDisplayFormat(0, 7680, 4320);
  PostDisplayFormat(0, 12000, 4000);  // 144 MB a picture
  PostRawUpdate(0, 0, 0, 32, 32, Uniform(32, 32, kMarker));
  ASSERT_TRUE(PumpUntil([&] { return GrabClient(window).At(28, 2) == kMarker; }, 20000));
  EXPECT_EQ(Session().GetFrameFormat().Width(), 7680);
  EXPECT_EQ(Session().GetFrameFormat().Height(), 4320);
}

TEST_F(FrameMgrTest, ANewFormatGivesBackTheDecodersBuffers) {
  HWND window = Show();
  PostDisplayFormat(0, 64, 64);
  PostRawUpdate(0, 0, 0, 64, 64, Uniform(64, 64, kMarker));
  // The frame is centred; the remote pointer covers its top-left corner.
  ASSERT_TRUE(PumpUntil([&] { return GrabClient(window).At(128 + 60, 88 + 4) == kMarker; }, 10000));
  const uint64_t baseline = CommittedPrivateBytes();
  {
    // Through all three stages, so that decoding needs both work buffers.
    const std::vector<uint8_t> pixels = ColumnPattern(2000, 1500);
    CompressionMgr compressor;
    compressor.EnableHuffman(true);
    compressor.EnableLZ(true);
    compressor.EnableRLE565(true);
    std::vector<uint8_t> stream(1 + pixels.size() + 256);
    stream.resize(compressor.Compress(3, 2000 * 1500, nullptr, pixels.data(), stream.data()));
    ASSERT_EQ(stream.at(0), STAGE_HUFFMAN | STAGE_LZ77 | STAGE_RLE565);
    PostDisplayFormat(0, 2000, 1500);
    PostUpdate(0, 0, 0, 2000, 1500, stream);
  }
  ASSERT_TRUE(PumpUntil([&] { return GrabClient(window).At(120, 60) != kGrey; }, 20000))
      << "the frame was not decoded";
  PostDisplayFormat(0, 64, 64);
  EXPECT_TRUE(PumpUntil([&] { return CommittedPrivateBytes() < baseline + 8 * kMiB; }, 10000))
      << (CommittedPrivateBytes() - baseline) / kMiB << " MiB more than with the first 64 x 64 frame";
}
