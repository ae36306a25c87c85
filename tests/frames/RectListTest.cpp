#include "frames/RectList.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {
std::vector<Rect> Contents(const RectList& list) {
  return std::vector<Rect>(list.GetRects().begin(), list.GetRects().end());
}

using Cell = std::pair<int, int>;

std::set<Cell> Cells(const Rect& r) {
  std::set<Cell> cells;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) cells.insert({x, y});
  return cells;
}
}  // namespace

TEST(RectList, SplitsAnOverlapIntoColumnPieces) {
  RectList list;
  ASSERT_TRUE(list.Add(0, 0, 15, 15));
  ASSERT_TRUE(list.Add(10, 10, 20, 20));
  std::vector<Rect> expected = {{0, 0, 10, 15}, {10, 0, 15, 20}, {15, 10, 20, 20}};
  EXPECT_EQ(Contents(list), expected);
}

TEST(RectList, ContainedAndContainingRectanglesMergeWhole) {
  RectList list;
  list.Add(0, 0, 100, 100);
  list.Add(10, 10, 20, 20);
  EXPECT_EQ(Contents(list), (std::vector<Rect>{{0, 0, 100, 100}}));

  RectList other;
  other.Add(10, 10, 20, 20);
  other.Add(50, 50, 60, 60);
  other.Add(0, 0, 30, 30);
  EXPECT_EQ(Contents(other), (std::vector<Rect>{{50, 50, 60, 60}, {0, 0, 30, 30}}));
}

TEST(RectList, RefusesEmptyRectangles) {
  RectList list;
  EXPECT_FALSE(list.Add(5, 5, 5, 10));
  EXPECT_FALSE(list.Add(5, 5, 10, 5));
  EXPECT_FALSE(list.Add(10, 10, 5, 20));
  EXPECT_TRUE(list.IsEmpty());
}

TEST(RectList, TakesRectanglesInArrivalOrder) {
  RectList list;
  list.Add(0, 0, 4, 4);
  list.Add(10, 0, 14, 4);
  Rect r;
  ASSERT_TRUE(list.TakeHead(&r));
  EXPECT_EQ(r, (Rect{0, 0, 4, 4}));
  ASSERT_TRUE(list.TakeHead(&r));
  EXPECT_EQ(r, (Rect{10, 0, 14, 4}));
  EXPECT_FALSE(list.TakeHead(&r));
}

// After any sequence of additions the list is pairwise disjoint, holds no
// empty rectangle and covers exactly the union of what was added.
TEST(RectList, AlwaysCoversExactlyTheUnionWithoutOverlap) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> coordinate(0, 40);
  for (int round = 0; round < 200; ++round) {
    RectList list;
    std::set<Cell> added;
    int additions = 1 + round % 12;
    for (int i = 0; i < additions; ++i) {
      int x1 = coordinate(random), x2 = coordinate(random);
      int y1 = coordinate(random), y2 = coordinate(random);
      Rect r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
      list.Add(r);
      for (const Cell& c : Cells(r)) added.insert(c);
    }
    std::set<Cell> covered;
    size_t cellCount = 0;
    for (const Rect& r : list.GetRects()) {
      ASSERT_FALSE(r.IsEmpty());
      std::set<Cell> cells = Cells(r);
      cellCount += cells.size();
      covered.insert(cells.begin(), cells.end());
    }
    EXPECT_EQ(cellCount, covered.size()) << "rectangles overlap in round " << round;
    EXPECT_EQ(covered, added) << "round " << round;
  }
}

TEST(Rect, AreaPercentHoldsForDesktopsOfMoreThanTwentyOneMillionPixels) {
  // Three 4K screens side by side: 24.9 million pixels, 2.5e9 once times 100.
  const Rect desktop{0, 0, 11520, 2160};
  EXPECT_EQ(AreaPercent(desktop, desktop), 100);
  EXPECT_EQ(AreaPercent(Rect{0, 0, 5760, 2160}, desktop), 50);
  EXPECT_EQ(AreaPercent(Rect{0, 0, 5759, 2160}, desktop), 49);
  EXPECT_EQ(AreaPercent(Rect{100, 100, 110, 110}, desktop), 0);
}
