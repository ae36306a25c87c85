// Sharing application windows of another program (Wine's notepad) through
// the exports, observed from outside the library: the reports a host drains,
// the windows' rectangles and z-order, and the session window's region (it
// has one exactly while it captures).

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "SharingSession.h"

namespace {
constexpr uint32_t kAllOnes = 0xFFFFFFFF;
constexpr UINT_PTR kPositionTimer = 1003;

SharedReport R(uint16_t code, HWND window) { return SharedReport{code, window, ""}; }
using Reports = std::vector<SharedReport>;

auto TimerTick(UINT_PTR id) {
  return [id](const SessionSpy::Record& r) { return r.message == WM_TIMER && r.wParam == id; };
}

std::string TitleOf(HWND window) {
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
}

int FrameWidth(HWND window) {
  RECT w, c;
  GetWindowRect(window, &w);
  GetClientRect(window, &c);
  return ((w.right - w.left) - c.right) / 2;
}

// A top-level window of the test's own process.
HWND CreateOwnWindow(int x, int y) {
  return CreateWindowExA(0, "STATIC", "own window", WS_POPUP | WS_BORDER | WS_VISIBLE, x, y, 200,
                         150, nullptr, nullptr, nullptr, nullptr);
}
}  // namespace

class ApplicationSharing : public SharingSession {
 protected:
  // ZK_SetPosition, then waits until the worker has applied it.
  ::testing::AssertionResult Position(uint32_t x, uint32_t y, uint32_t w, uint32_t h, bool show) {
    spy_.Clear();
    zk().SetPosition(x, y, w, h, show ? 1 : 0);
    if (!spy_.AwaitTaken(TimerTick(kPositionTimer), 1) || !spy_.Fence())
      return ::testing::AssertionFailure() << "the position was never applied";
    return ::testing::AssertionSuccess();
  }
};

// First in this file: whether a position and a size were ever given is
// remembered for the life of the process.
TEST_F(ApplicationSharing, AnAllOnesPositionOnlyShowsOrHidesAndOnlyOnceAPlaceWasGiven) {
  ASSERT_TRUE(Start());
  const RECT initial = WindowRect(window_);
  ASSERT_TRUE(Position(kAllOnes, kAllOnes, kAllOnes, kAllOnes, true));
  EXPECT_FALSE(IsWindowVisible(window_)) << "shown before the host ever placed it";
  RECT r = WindowRect(window_);
  EXPECT_TRUE(EqualRect(&r, &initial));

  ASSERT_TRUE(Position(30, 40, 320, 200, false));
  const RECT placed = {30, 40, 350, 240};
  r = WindowRect(window_);
  EXPECT_TRUE(EqualRect(&r, &placed));
  EXPECT_FALSE(IsWindowVisible(window_));

  ASSERT_TRUE(Position(kAllOnes, kAllOnes, kAllOnes, kAllOnes, true));
  EXPECT_TRUE(IsWindowVisible(window_));
  r = WindowRect(window_);
  EXPECT_TRUE(EqualRect(&r, &placed)) << "all ones moved the window";

  ASSERT_TRUE(Position(kAllOnes, kAllOnes, kAllOnes, kAllOnes, false));
  EXPECT_FALSE(IsWindowVisible(window_));
  r = WindowRect(window_);
  EXPECT_TRUE(EqualRect(&r, &placed));
}

TEST_F(ApplicationSharing, AWidthOf101WithABorderOf4Becomes104) {
  ASSERT_TRUE(Start("[ZK]\nShowBorder=1\n"));
  const int border = FrameWidth(window_);
  ASSERT_GT(border, 0);
  ASSERT_TRUE(ShowAt(20, 20, 101, 100));
  RECT r = WindowRect(window_);
  EXPECT_EQ(r.right - r.left, ((101 - 2 * border + 3) & ~3) + 2 * border);
  if (border == 4) {
    EXPECT_EQ(r.right - r.left, 104);
  }
  RECT client;
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right % 4, 0);
}

TEST_F(ApplicationSharing, AMinimisedWindowSharedByHandleFillsTheFrameAndAClickInPlaceUnsharesIt) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start(SW_SHOWMINNOACTIVE));
  const HWND window = notepad.Window();
  ASSERT_TRUE(IsIconic(window));
  ASSERT_TRUE(StartPresenter());
  EXPECT_FALSE(IsCapturing()) << "nothing is shared yet";

  ASSERT_EQ(zk().ClickToShare(window, 0), 1);
  Reports reports = TakeReports(2);
  EXPECT_EQ(reports, (Reports{R(0, window), R(1, window)}));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports[0].title, TitleOf(window));
  EXPECT_FALSE(reports[0].title.empty());
  EXPECT_TRUE(AwaitInPlaceBelowSession(window)) << "restored, in the frame, below the session";
  EXPECT_TRUE(AwaitCapturing());

  // The frame is see-through: the click lands on the shared window itself.
  ASSERT_EQ(zk().ClickToShare(nullptr, 0), 1);
  ASSERT_TRUE(spy_.Fence());
  Click(Centre(Placement()));
  EXPECT_EQ(TakeReports(2), (Reports{R(2, window), R(6, window)}));
  EXPECT_TRUE(AwaitNotCapturing());
  EXPECT_TRUE(PumpWhile([&] { return LowestVisibleWindow() != window; }))
      << "the unshared window is not at the bottom";
  EXPECT_TRUE(TakeReports(0).empty());
}

TEST_F(ApplicationSharing, TheWindowClickedAfterClickToShareIsShared) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  const HWND window = notepad.Window();
  ASSERT_TRUE(SetWindowPos(window, nullptr, 640, 520, 320, 240, SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(StartPresenter());

  ASSERT_EQ(zk().ClickToShare(nullptr, 0), 1);
  ASSERT_TRUE(spy_.Fence());
  Click(Centre(WindowRect(window)));
  EXPECT_EQ(TakeReports(2), (Reports{R(0, window), R(1, window)}));
  EXPECT_TRUE(AwaitInPlaceBelowSession(window));
  EXPECT_TRUE(AwaitCapturing());
}

TEST_F(ApplicationSharing, ASecondWindowBecomesPrimaryAndTheFirstIsFittedIntoTheFrame) {
  OtherProgram first, second;
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(SetWindowPos(second.Window(), nullptr, 700, 600, 300, 200,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(StartPresenter());

  ASSERT_EQ(zk().ClickToShare(first.Window(), 1), 1);
  EXPECT_EQ(TakeReports(2), (Reports{R(0, first.Window()), R(1, first.Window())}));
  ASSERT_TRUE(AwaitInPlaceBelowSession(first.Window()));

  ASSERT_EQ(zk().ClickToShare(second.Window(), 1), 1);
  EXPECT_EQ(TakeReports(3),
            (Reports{R(0, second.Window()), R(1, second.Window()), R(6, first.Window())}));
  EXPECT_TRUE(AwaitInPlaceBelowSession(second.Window()));
  EXPECT_TRUE(AwaitPlaced(first.Window(), Placement())) << "the first is not fitted";
  EXPECT_TRUE(AwaitCapturing());
}

TEST_F(ApplicationSharing, MinimisingTheOnlySharedWindowSetsItAsideAndRestoresIt) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  const HWND window = notepad.Window();
  ASSERT_TRUE(StartPresenter());
  ASSERT_EQ(zk().ClickToShare(window, 1), 1);
  ASSERT_EQ(TakeReports(2).size(), 2u);
  ASSERT_TRUE(AwaitInPlaceBelowSession(window));

  ShowWindow(window, SW_MINIMIZE);
  EXPECT_EQ(TakeReports(3), (Reports{R(6, window), R(6, window), R(1, window)}));
  EXPECT_TRUE(AwaitInPlaceBelowSession(window)) << "not restored into the frame";
  EXPECT_TRUE(AwaitCapturing());
}

TEST_F(ApplicationSharing, AWindowOfTheLibrarysOwnProcessIsRefusedUnlessTheHostNamesIt) {
  const HWND own = CreateOwnWindow(640, 520);
  ASSERT_NE(own, nullptr);
  ASSERT_TRUE(StartPresenter());

  ASSERT_EQ(zk().ClickToShare(nullptr, 0), 1);
  ASSERT_TRUE(spy_.Fence());
  Click(Centre(WindowRect(own)));
  Reports refused = TakeReports(1);
  EXPECT_EQ(refused, (Reports{R(5, own)}));
  if (!refused.empty()) {
    EXPECT_EQ(refused[0].title, "") << "a refusal carries no title";
  }
  ASSERT_TRUE(spy_.Fence());
  EXPECT_FALSE(IsCapturing());

  ASSERT_EQ(zk().ClickToShare(own, 1), 1);
  EXPECT_EQ(TakeReports(2), (Reports{R(0, own), R(1, own)}));
  EXPECT_TRUE(AwaitInPlaceBelowSession(own));
  Stop();
  DestroyWindow(own);
}

// Programs end while their windows are shared: with their window closed
// (the hooks report it) or killed outright (the update tick finds the
// handle gone). Capture ends, the session goes on.
TEST_F(ApplicationSharing, ASharedWindowWhoseProgramEndsIsLetGoAndCaptureEnds) {
  ASSERT_TRUE(StartPresenter());
  OtherProgram closed, killed;
  ASSERT_TRUE(closed.Start());
  ASSERT_EQ(zk().ClickToShare(closed.Window(), 1), 1);
  ASSERT_EQ(TakeReports(2).size(), 2u);
  const HWND closedWindow = closed.Window();
  ASSERT_TRUE(closed.Close());
  Reports reports = TakeReports(3);
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.front(), R(2, closedWindow));
  EXPECT_EQ(reports.back(), R(4, closedWindow));
  EXPECT_TRUE(AwaitNotCapturing());

  ASSERT_TRUE(killed.Start());
  const HWND killedWindow = killed.Window();
  ASSERT_EQ(zk().ClickToShare(killedWindow, 1), 1);
  ASSERT_EQ(TakeReports(2).size(), 2u);
  ASSERT_TRUE(AwaitCapturing());
  ASSERT_TRUE(killed.Kill());
  reports = TakeReports(3);
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.front(), R(2, killedWindow));
  EXPECT_EQ(reports.back(), R(4, killedWindow));
  EXPECT_TRUE(AwaitNotCapturing());
}

// The hooks report every window of the desktop; those that are not shared,
// and a shared one that is not followed, are left alone.
TEST_F(ApplicationSharing, ReportsAboutWindowsThatAreNotFollowedChangeNothing) {
  OtherProgram first, second, bystander;
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(bystander.Start());
  ASSERT_TRUE(SetWindowPos(bystander.Window(), nullptr, 700, 600, 300, 200,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(StartPresenter());
  ASSERT_EQ(zk().ClickToShare(first.Window(), 1), 1);
  ASSERT_EQ(zk().ClickToShare(second.Window(), 1), 1);
  ASSERT_EQ(TakeReports(5).size(), 5u);
  ASSERT_TRUE(AwaitInPlaceBelowSession(second.Window()));
  const RECT aside = WindowRect(bystander.Window());

  const WPARAM outsider = reinterpret_cast<WPARAM>(bystander.Window());
  PostMessageA(window_, 0x084E, outsider, 0);
  PostMessageA(window_, 0x084F, outsider, 0);
  PostMessageA(window_, 0x0852, outsider, 1);
  // Minimising a shared window that is not the followed one.
  PostMessageA(window_, 0x0852, reinterpret_cast<WPARAM>(first.Window()), 1);
  ASSERT_TRUE(spy_.Fence());
  ASSERT_TRUE(DispatchNow());
  EXPECT_TRUE(TakeReports(0).empty());
  RECT r = WindowRect(bystander.Window());
  EXPECT_TRUE(EqualRect(&r, &aside));
  EXPECT_TRUE(AwaitInPlaceBelowSession(second.Window()));
  EXPECT_TRUE(IsCapturing());
}

// A followed window dragged out of the frame stays where the user put it: a
// click on it only repeats that it is followed. Moving the session window
// brings every shared window back under the frame.
TEST_F(ApplicationSharing, ADraggedWindowStaysUntilTheFrameMoves) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  const HWND window = notepad.Window();
  ASSERT_TRUE(StartPresenter());
  ASSERT_EQ(zk().ClickToShare(window, 1), 1);
  ASSERT_EQ(TakeReports(2).size(), 2u);
  ASSERT_TRUE(AwaitInPlaceBelowSession(window));

  const RECT dragged = {620, 500, 620 + kFrameWidth, 500 + kFrameHeight};
  ASSERT_TRUE(SetWindowPos(window, nullptr, dragged.left, dragged.top, kFrameWidth, kFrameHeight,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_EQ(zk().ClickToShare(nullptr, 0), 1);
  ASSERT_TRUE(spy_.Fence());
  Click(Centre(dragged));
  EXPECT_EQ(TakeReports(1), (Reports{R(1, window)}));
  ASSERT_TRUE(DispatchNow());
  RECT r = WindowRect(window);
  EXPECT_TRUE(EqualRect(&r, &dragged)) << "the click moved it back";

  ASSERT_TRUE(ShowAt(kFrameX + 40, kFrameY + 30, kFrameWidth, kFrameHeight));
  EXPECT_TRUE(AwaitInPlaceBelowSession(window)) << "not restacked when the frame moved";
  EXPECT_TRUE(TakeReports(0).empty());
}

// Ending the session reports and lets go of every shared window before
// ZK_Release returns, so the next session can share it again at once.
TEST_F(ApplicationSharing, ReleaseLetsGoOfTheSharedWindowsBeforeItReturns) {
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  const HWND window = notepad.Window();
  ASSERT_TRUE(StartPresenter());
  ASSERT_EQ(zk().ClickToShare(window, 1), 1);
  ASSERT_EQ(TakeReports(2).size(), 2u);
  ASSERT_TRUE(AwaitInPlaceBelowSession(window));

  ASSERT_EQ(zk().Release(), 1);
  EXPECT_EQ(TakeReports(2), (Reports{R(6, window), R(2, window)}));
  EXPECT_TRUE(PumpWhile([&] { return LowestVisibleWindow() != window; }))
      << "the window was not let go";
  spy_.Detach();

  ASSERT_TRUE(StartPresenter());
  ASSERT_EQ(zk().ClickToShare(window, 1), 1);
  EXPECT_EQ(TakeReports(2), (Reports{R(0, window), R(1, window)}));
  EXPECT_TRUE(AwaitInPlaceBelowSession(window));
}
