#include "stats/StatStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint32_t kStart = 50000;

void RecordUpdate(uint32_t raw, uint32_t bytes, uint32_t now) {
  StatAddRaw(raw);
  StatAddRLE(raw, bytes, 2);
  StatAddLZ77(0, 0, 0);
  StatAddHuffman(0, 0, 0);
  StatAddMessage(bytes, now);
}

struct Section {
  char lines[kStatSectionLines][kStatLineSize];
  std::string operator[](int i) const { return lines[i]; }
};

Section Format(const char* title, const StatRecord& record, uint32_t now) {
  Section s;
  FormatStatSection(title, record, now, s.lines);
  return s;
}

class StatStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { StatReset(kStart); }
};

TEST_F(StatStoreTest, EmptyStoreShowsZeroFiguresAndGrowingTotalTime) {
  const Section totals = Format("Totals", StatTotals(), kStart + 2500);
  EXPECT_EQ(totals[0], "Totals: 0 entries");
  EXPECT_EQ(totals[1], "Total Bytes: 0.00k Total Time: 2.50s");
  EXPECT_EQ(totals[2], "Avg Bytes Per Sec: 0.00k");
  EXPECT_EQ(totals[3], "RLE: 0 -> 0 (0.00%) 0 ms");
  EXPECT_EQ(totals[4], "LZ77: 0 -> 0 (0.00%) 0 ms");
  EXPECT_EQ(totals[5], "HUFF: 0 -> 0 (0.00%) 0 ms");
  EXPECT_EQ(totals[6], "Compression: 0 -> 0 (0.00%)");

  StatRecord window;
  StatSumWindow(10000, kStart + 2500, window);
  const Section running = Format("Running Totals(10 sec)", window, kStart + 2500);
  EXPECT_EQ(running[0], "Running Totals(10 sec): 0 entries");
  EXPECT_EQ(running[1], "Total Bytes: 0.00k Total Time: 0.00s");
  EXPECT_EQ(running[2], "Avg Bytes Per Sec: 0.00k");
}

TEST_F(StatStoreTest, StageLineShowsOutOverInAsPercent) {
  StatAddRaw(30000);
  StatAddRLE(30000, 12000, 3);
  StatAddLZ77(0, 0, 0);
  StatAddHuffman(0, 0, 0);
  StatAddMessage(6144, kStart + 1000);
  const Section totals = Format("Totals", StatTotals(), kStart + 2000);
  EXPECT_EQ(totals[0], "Totals: 1 entries");
  EXPECT_EQ(totals[1], "Total Bytes: 6.00k Total Time: 2.00s");
  EXPECT_EQ(totals[2], "Avg Bytes Per Sec: 3.00k");
  EXPECT_EQ(totals[3], "RLE: 30000 -> 12000 (40.00%) 3 ms");
  EXPECT_EQ(totals[4], "LZ77: 0 -> 0 (0.00%) 0 ms");
  EXPECT_EQ(totals[6], "Compression: 30000 -> 6144 (20.48%)");
}

TEST_F(StatStoreTest, CountsPrintAsSigned32BitValues) {
  StatAddRaw(0xFFFFFFFFu);
  const Section totals = Format("Totals", StatTotals(), kStart);
  EXPECT_EQ(totals[6], "Compression: -1 -> 0 (0.00%)");
}

TEST_F(StatStoreTest, MessageCompletesTheSlotAndClearsTheNext) {
  const uint32_t first = StatRingIndex();
  RecordUpdate(300, 100, kStart + 5);
  const StatRecord& done = StatSlot(first);
  EXPECT_EQ(done.entries, 1u);
  EXPECT_EQ(done.bytes, 100u);
  EXPECT_EQ(done.raw, 300u);
  EXPECT_EQ(done.rleOut, 100u);
  EXPECT_EQ(done.time, kStart + 5);
  EXPECT_EQ(StatRingIndex(), (first + 1) % kStatRingSlots);
  const StatRecord& next = StatSlot(StatRingIndex());
  EXPECT_EQ(next.entries, 0u);
  EXPECT_EQ(next.raw, 0u);
  EXPECT_EQ(StatTotals().raw, 300u);
  EXPECT_EQ(StatTotals().bytes, 100u);
}

TEST_F(StatStoreTest, UnsentCompressionIsOverwrittenByTheNext) {
  StatAddRaw(999);
  StatAddRLE(999, 5, 1);
  RecordUpdate(30, 10, kStart);
  StatRecord window;
  StatSumWindow(1000, kStart, window);
  EXPECT_EQ(window.raw, 30u);
  EXPECT_EQ(window.rleIn, 30u);
  EXPECT_EQ(StatTotals().raw, 1029u);  // the totals still saw both
}

TEST_F(StatStoreTest, RingSumSeesAtMost255Updates) {
  for (int i = 0; i < 300; ++i) RecordUpdate(3, 1, kStart + 1);
  StatRecord window;
  StatSumWindow(10000, kStart + 1, window);
  EXPECT_EQ(window.entries, 255u);
  EXPECT_EQ(window.bytes, 255u);
  EXPECT_EQ(StatTotals().entries, 300u);
}

TEST_F(StatStoreTest, WindowIncludesItsEdgeAndStartsAtTheOldestSlot) {
  RecordUpdate(30, 10, kStart);         // exactly 10000 ms before
  RecordUpdate(30, 20, kStart - 1);     // 10001 ms before
  RecordUpdate(30, 40, kStart + 9000);  // 1000 ms before
  StatRecord ten;
  StatSumWindow(10000, kStart + 10000, ten);
  EXPECT_EQ(ten.entries, 2u);
  EXPECT_EQ(ten.bytes, 50u);
  EXPECT_EQ(ten.time, kStart);
  StatRecord one;
  StatSumWindow(1000, kStart + 10000, one);
  EXPECT_EQ(one.entries, 1u);
  EXPECT_EQ(one.bytes, 40u);
  EXPECT_EQ(one.time, kStart + 9000);
  const Section s = Format("Running Totals(1 sec)", one, kStart + 10000);
  EXPECT_EQ(s[1], "Total Bytes: 0.04k Total Time: 1.00s");
}

TEST_F(StatStoreTest, ResetClearsTotalsAndRingButKeepsTheIndex) {
  RecordUpdate(30, 10, kStart);
  const uint32_t index = StatRingIndex();
  StatReset(kStart + 7);
  EXPECT_EQ(StatRingIndex(), index);
  EXPECT_EQ(StatTotals().entries, 0u);
  EXPECT_EQ(StatTotals().time, kStart + 7);
  StatRecord window;
  StatSumWindow(10000, kStart + 7, window);
  EXPECT_EQ(window.entries, 0u);
}

}  // namespace
