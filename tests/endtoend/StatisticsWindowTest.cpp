// The statistics window of a presenter that has sent updates: its figures
// are read back from its control and compared with the statistics store.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "EndToEndFixture.h"
#include "session/SessionMessages.h"
#include "stats/StatStore.h"
#include "stats/Statistics.h"

namespace {
constexpr int kFigureLines = 3 * kStatSectionLines;

std::vector<std::string> ShownLines(HWND dialog) {
  char text[8192] = {};
  GetDlgItemTextA(dialog, 1002, text, sizeof text);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string BeforeTime(const std::string& line) { return line.substr(0, line.find(" Total Time")); }

using StatisticsWindow = EndToEndFixture;

TEST_F(StatisticsWindow, ShowsTheStoresTotalsAndIsRefreshedWhileNothingElseChanges) {
  Statistics none;
  none.Redraw();  // no dialog: nothing to draw into, nothing happens
  EXPECT_EQ(none.GetDialog(), nullptr);

  WriteConfig("ShowStatistics=1");
  const Picture picture = Noise(kAreaWidth, kAreaHeight, 18);
  ShowContent(picture);
  StartPresenter();
  HWND dialog = StatisticsDialog();
  ASSERT_NE(dialog, nullptr);
  // It opens at the screen's corner, over the shared area: out of the way.
  SetWindowPos(dialog, nullptr, kAreaX, kAreaY + kAreaHeight + 40, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  WriteConfig();  // the viewer shows none
  StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, picture, kFirstShowSeconds));
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  EXPECT_STREQ(caption, "ZK Statistics");
  EXPECT_TRUE(IsWindowVisible(dialog));

  // Paused, the presenter compresses nothing more: the store holds still.
  // Two refreshes later the figures shown were taken after the pause.
  PostMessageA(PresenterWindow(), WM_ZK_PAUSECAPTURE, 1, 0);
  std::vector<std::string> shown = ShownLines(dialog);
  for (int refresh = 0; refresh < 2; ++refresh) {
    const std::vector<std::string> before = shown;
    ASSERT_TRUE(WaitUntil([&] { return (shown = ShownLines(dialog)) != before; }, kChangeSeconds))
        << "refreshed about once a second";
  }
  ASSERT_EQ(shown.size(), static_cast<size_t>(kFigureLines));
  char expected[kStatSectionLines][kStatLineSize];
  FormatStatSection("Totals", StatTotals(), TickCountMs(), expected);
  EXPECT_GT(StatTotals().entries, 0u) << "the session sent updates";
  EXPECT_EQ(shown[0], expected[0]);
  EXPECT_EQ(BeforeTime(shown[1]), BeforeTime(expected[1]));
  for (int line = 3; line < kStatSectionLines; ++line) EXPECT_EQ(shown[line], expected[line]);
  EXPECT_EQ(shown[kStatSectionLines].rfind("Running Totals(10 sec): ", 0), 0u);
  EXPECT_EQ(shown[2 * kStatSectionLines].rfind("Running Totals(1 sec): ", 0), 0u);
}
}  // namespace
