#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "EndToEndFixture.h"
#include "ScreenGrab.h"
#include "events/ProtocolTypes.h"
#include "session/SessionMessages.h"

namespace {
std::string Describe(const MatchReport& r) {
  return std::to_string(r.mismatched) + " of " + std::to_string(r.pixels) +
         " pixels off (largest differences r/g/b " + std::to_string(r.maxRed) + "/" +
         std::to_string(r.maxGreen) + "/" + std::to_string(r.maxBlue) + ")";
}
}  // namespace

class SessionEndToEnd : public EndToEndFixture {};

TEST_F(SessionEndToEnd, ViewerShowsTheScreenUnderTheFrameAndFollowsItsChanges) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  StartViewer(kViewerX, kViewerY);
  MatchReport report;
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight),
                           kFirstShowSeconds, &report))
      << Describe(report);

  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds, &report)) << Describe(report);
  // Changes travel as display updates, not as new full updates.
  EXPECT_EQ(Host().Figures().fullUpdates, 1u);
  EXPECT_GT(Host().Figures().displayUpdates, 0u);
}

TEST_F(SessionEndToEnd, WithoutPollingWhatAWindowPaintsStillReachesTheViewer) {
  // Nothing looks at the screen unless the desktop's hooks say where it drew.
  WriteConfig("EnablePolling=0\n");
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  StartViewer(kViewerX, kViewerY);
  // Under Wine a thread learns of hooks set since it last took a message only
  // with its next one: until then its own paints pass them by. The hooks are
  // set by the time the presenter captures.
  ASSERT_TRUE(WaitUntil([] { return PresenterDisplayMode() == ZKM_CAPTURE; }, kChangeSeconds));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0));
  PumpFor(0.05);
  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  MatchReport report;
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kFirstShowSeconds, &report))
      << Describe(report);
  Picture notepad = Notepad(kAreaWidth, kAreaHeight);
  ShowContent(notepad);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, notepad, kChangeSeconds, &report))
      << Describe(report);
}

TEST_F(SessionEndToEnd, EightBitViewerShowsThePresentersPaletteColours) {
  WriteConfig("[CompressionMgr]\nEnableRLE565=0\nEnableRLE332=1\n");
  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  StartViewer(kViewerX, kViewerY);
  MatchReport report;
  ASSERT_TRUE(WaitForPaletteMatch(kViewerX, kViewerY, photo, kFirstShowSeconds, &report))
      << Describe(report);

  // While the screen keeps changing, the presenter rebuilds its palette
  // every few passes and sends it outside any full update.
  int palettesBefore = Drained(ZKP_PALETTE);
  Picture source = Source(kAreaWidth, kAreaHeight);
  bool flip = false;
  EXPECT_TRUE(WaitUntil(
      [&] {
        ShowContent((flip = !flip) ? source : photo);
        PumpFor(0.3);
        return Drained(ZKP_PALETTE) > palettesBefore;
      },
      kFirstShowSeconds));
  ShowContent(source);
  EXPECT_TRUE(WaitForPaletteMatch(kViewerX, kViewerY, source, kChangeSeconds, &report))
      << Describe(report);
}

TEST_F(SessionEndToEnd, LateViewerGetsOneFullUpdateAndSeesWhatTheFirstSees) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  HostProcess& first = StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight), kFirstShowSeconds));
  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds));
  // The pointer rests inside the shared area before the late viewer joins:
  // it must draw it where the first one does without a new move.
  int pointerEvents = Drained(ZKP_MOUSEPOSITION);
  MovePointer(kAreaX + kAreaWidth / 2, kAreaY + kAreaHeight / 2);
  ASSERT_TRUE(WaitUntil([&] { return Drained(ZKP_MOUSEPOSITION) > pointerEvents; }, kChangeSeconds));

  HostProcess& late = StartViewer(kViewerX, kSecondViewerY);
  MatchReport report;
  ASSERT_TRUE(WaitForMatch(kViewerX, kSecondViewerY, photo, kFirstShowSeconds, &report))
      << Describe(report);
  Picture source = Source(kAreaWidth, kAreaHeight);
  ShowContent(source);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, source, kChangeSeconds));
  EXPECT_TRUE(WaitForMatch(kViewerX, kSecondViewerY, source, kChangeSeconds));
  // Both draw the same frame and the same pointer: the same pixels, once the
  // updates still on their way to one of them have arrived.
  EXPECT_TRUE(WaitUntil(
      [&] {
        Picture one, two;
        return GrabScreen(kViewerX, kViewerY, kAreaWidth, kAreaHeight, &one) &&
               GrabScreen(kViewerX, kSecondViewerY, kAreaWidth, kAreaHeight, &two) &&
               one.pixels == two.pixels;
      },
      kChangeSeconds));

  PresenterFigures figures = Host().Figures();
  EXPECT_EQ(figures.fullUpdates, 2u);  // one per viewer
  EXPECT_EQ(figures.resyncs, 0u);
  StopPresenter();
  DWORD code = 1;
  ASSERT_TRUE(late.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(late.Output().find("(1 full updates)"), std::string::npos) << late.Output();
  ASSERT_TRUE(first.WaitForExit(20000, &code));
  EXPECT_NE(first.Output().find("(1 full updates)"), std::string::npos) << first.Output();
}

TEST_F(SessionEndToEnd, UndrainedQueueStopsNearItsLimitAndTheViewerCatchesUpAfterwards) {
  constexpr uint32_t kMaxQueue = 16384;
  WriteConfig("[EventMgr]\nMaxQueueSize=16384\n");
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  HostProcess& viewer = StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight), kFirstShowSeconds));

  Host().PauseDraining(true);
  // The throttle engages: the queue fills while nobody drains it.
  ShowContent(Noise(kAreaWidth, kAreaHeight, 1));
  ASSERT_TRUE(WaitUntil([&] { return QueuedBytes() >= kMaxQueue; }, kChangeSeconds))
      << "the queue never reached its limit";
  uint32_t largest = 0;
  size_t pendingMost = 0;
  // Keep changing the screen for several passes while nobody drains: the
  // queue stays where the throttle stopped it and the pending list bounded.
  for (uint32_t seed = 2; seed < 8; ++seed) {
    ShowContent(Noise(kAreaWidth, kAreaHeight, seed));
    for (int i = 0; i < 40; ++i) {
      PumpFor(0.02);
      largest = std::max(largest, QueuedBytes());
      pendingMost = std::max(pendingMost, PendingRectangles());
    }
  }
  // One more rectangle may go out after the limit is reached; none is
  // larger than the whole frame.
  EXPECT_LE(largest, kMaxQueue + kAreaWidth * kAreaHeight * 3 + 1024);
  EXPECT_LE(pendingMost, 32u);

  Host().PauseDraining(false);
  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  MatchReport report;
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds, &report))
      << Describe(report) << "\n" << FormatFigures(Host().Figures()) << "\nqueued "
      << QueuedBytes() << " bytes, " << PendingRectangles() << " rectangles pending\n"
      << viewer.Output();
  EXPECT_EQ(Host().Figures().resyncs, 0u);
}

TEST_F(SessionEndToEnd, ResizedAndMovedFrameKeepsReferenceAndViewerEqualWithoutAFullUpdate) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight), kFirstShowSeconds));

  // Larger: the overlap is kept on both sides, the new part polled in.
  constexpr int kWidth = 480, kHeight = 360;
  Picture source = Source(kWidth, kHeight);
  PlaceContent(kAreaX, kAreaY, kWidth, kHeight);
  ShowContent(source);
  int formats = Drained(ZKP_DISPLAYFORMAT);
  zk_.SetPosition(kAreaX, kAreaY, kWidth, kHeight, 1);
  MatchReport report;
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, source, kChangeSeconds, &report)) << Describe(report);
  EXPECT_GT(Drained(ZKP_DISPLAYFORMAT), formats);

  // Moved: the same size elsewhere, with other content under it.
  constexpr int kMovedX = 60, kMovedY = 200;
  Picture photo = Photo(kWidth, kHeight);
  PlaceContent(kMovedX, kMovedY, kWidth, kHeight);
  ShowContent(photo);
  zk_.SetPosition(kMovedX, kMovedY, kWidth, kHeight, 1);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds, &report)) << Describe(report);

  // The presenter's reference frame is what the viewer was sent.
  Picture reference;
  ASSERT_TRUE(ReferenceFrame(&reference));
  Picture shown;
  ASSERT_TRUE(GrabScreen(kViewerX, kViewerY, kWidth, kHeight, &shown));
  report = Compare565(reference, shown, PointerBoxes());
  EXPECT_EQ(report.mismatched, 0u) << Describe(report);
  EXPECT_EQ(Compare565(photo, reference).mismatched, 0u);

  PresenterFigures figures = Host().Figures();
  EXPECT_EQ(figures.fullUpdates, 1u);
  EXPECT_EQ(figures.resyncs, 0u);
}
