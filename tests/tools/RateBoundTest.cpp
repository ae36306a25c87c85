#include <gtest/gtest.h>

#include "RateBound.h"

TEST(RateBound, AllowsABurstThenTheSustainedRate) {
  RateBound bound(100, 10);
  const auto start = RateBound::Clock::now();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(bound.Take(start)) << i;
  EXPECT_FALSE(bound.Take(start)) << "the burst is spent";
  // A tenth of a second earns ten more, and no more than the burst keeps.
  const auto later = start + std::chrono::milliseconds(100);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(bound.Take(later)) << i;
  EXPECT_FALSE(bound.Take(later));
  const auto muchLater = later + std::chrono::seconds(60);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(bound.Take(muchLater)) << i;
  EXPECT_FALSE(bound.Take(muchLater));
}
