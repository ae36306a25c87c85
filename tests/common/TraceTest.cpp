#include "common/Trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::pair<int, std::string>> g_lines;
void Capture(int level, const char* line) { g_lines.emplace_back(level, line); }
}  // namespace

TEST(Trace, GoesNowhereUntilASinkIsInstalled) {
  g_lines.clear();
  SetTraceSink(nullptr);
  Trace(TRACE_WARNING, "\r\nlost %d", 1);
  EXPECT_TRUE(g_lines.empty());

  TraceSink previous = SetTraceSink(Capture);
  Trace(TRACE_LIFECYCLE, "\r\nCreate(%d, %s)", 512, "SW_HIDE");
  SetTraceSink(previous);
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0].first, TRACE_LIFECYCLE);
  EXPECT_EQ(g_lines[0].second, "\r\nCreate(512, SW_HIDE)");
}
