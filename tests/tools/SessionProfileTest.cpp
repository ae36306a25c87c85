#include "SessionProfile.h"

#include <gtest/gtest.h>

TEST(SessionProfile, TheDefaultLooksWhereTheDesktopDrawsAndPollsTheWholeAreaRarely) {
  const SessionProfile& live = DefaultSessionProfile();
  EXPECT_STREQ(live.name, "live");
  EXPECT_TRUE(live.setsFrequencies);
  // Polling in bands would refuse drawing reports of half the area or more.
  EXPECT_EQ(live.pollBands, 0u);
  EXPECT_LT(live.updateIntervalMs, 200u) << "a reported change waits for the next update tick";
  EXPECT_EQ(DescribeSessionProfile(live),
            "live: changes reach viewers within a few tenths of a second (poll the whole area "
            "every 2000 ms, update every 20 ms, input every 50 ms)");
}

TEST(SessionProfile, LibraryLeavesTheLibrarysSettingsAndUnknownNamesAreNone) {
  const SessionProfile* library = FindSessionProfile("library");
  ASSERT_NE(library, nullptr);
  EXPECT_FALSE(library->setsFrequencies);
  EXPECT_EQ(DescribeSessionProfile(*library),
            "library: the library's settings: .\\ZK.ini, or its defaults");
  EXPECT_EQ(FindSessionProfile("Live"), nullptr);
  EXPECT_EQ(FindSessionProfile(""), nullptr);
}
