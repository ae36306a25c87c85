#include "SessionProfile.h"

#include <gtest/gtest.h>

TEST(SessionProfile, TheDefaultLooksWhereTheDesktopDrawsAndPollsTheWholeAreaRarely) {
  const SessionProfile& live = DefaultSessionProfile();
  EXPECT_STREQ(live.name, "live");
  EXPECT_TRUE(live.setsFrequencies);
  // Polling in bands would refuse drawing reports of half the area or more.
  EXPECT_EQ(live.pollBands, 0u);
  // Changes move on their reports and arrivals, not on the update tick.
  EXPECT_GT(live.reportSendDelayMs, 0u);
  EXPECT_TRUE(live.eventDriven);
  EXPECT_EQ(DescribeSessionProfile(live),
            "live: changes reach viewers as they happen (poll the whole area every 10000 ms, "
            "update every 1000 ms, input every 50 ms; reported drawing sent after 10 ms; what "
            "arrives handled and painted at once; the input tick only for a move)");
}

TEST(SessionProfile, LibraryLeavesTheLibrarysSettingsAndUnknownNamesAreNone) {
  const SessionProfile* library = FindSessionProfile("library");
  ASSERT_NE(library, nullptr);
  EXPECT_FALSE(library->setsFrequencies);
  EXPECT_EQ(library->reportSendDelayMs, 0u);
  EXPECT_FALSE(library->eventDriven);
  EXPECT_EQ(DescribeSessionProfile(*library),
            "library: the library's settings: .\\ZK.ini, or its defaults");
  EXPECT_EQ(FindSessionProfile("Live"), nullptr);
  EXPECT_EQ(FindSessionProfile(""), nullptr);
}
