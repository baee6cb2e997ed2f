#include "survey/stats.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/platform.h"

namespace vmtally {
namespace {

struct Expected {
  std::int32_t count, total, minimum, maximum;
};

void ExpectStats(const CategoryStats& stats, Expected expected) {
  EXPECT_EQ(stats.count, expected.count);
  EXPECT_EQ(stats.total, expected.total);
  EXPECT_EQ(stats.minimum, expected.minimum);
  EXPECT_EQ(stats.maximum, expected.maximum);
}

SurveyTotals Accumulate(std::initializer_list<std::uint32_t> sizes, std::uint32_t state,
                        std::uint32_t type, std::int32_t threshold = 0) {
  SurveyTotals totals;
  for (std::uint32_t size : sizes) {
    AccumulateRegion(totals, size, state, type, threshold);
  }
  return totals;
}

TEST(AccumulateRegionTest, FreshTotalsAreAllZero) {
  const SurveyTotals totals;
  for (const CategoryStats* stats :
       {&totals.commitStats, &totals.reserveStats, &totals.freeStats, &totals.privateStats,
        &totals.mappedStats, &totals.imageStats}) {
    ExpectStats(*stats, {0, 0, 0, 0});
    EXPECT_EQ(Average(*stats), 0);
  }
  EXPECT_EQ(totals.largeFreeCount, 0);
}

TEST(AccumulateRegionTest, StateAndTypeAreCountedIndependently) {
  SurveyTotals totals;
  AccumulateRegion(totals, 4096, MEM_RESERVE, MEM_IMAGE, 0);
  AccumulateRegion(totals, 8192, MEM_COMMIT, MEM_PRIVATE, 0);
  AccumulateRegion(totals, 12288, MEM_COMMIT, MEM_MAPPED, 0);
  AccumulateRegion(totals, 65536, MEM_FREE, 0, 0);
  ExpectStats(totals.reserveStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.imageStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.commitStats, {2, 20480, 8192, 12288});
  ExpectStats(totals.privateStats, {1, 8192, 8192, 8192});
  ExpectStats(totals.mappedStats, {1, 12288, 12288, 12288});
  ExpectStats(totals.freeStats, {1, 65536, 65536, 65536});
}

TEST(AccumulateRegionTest, CodesMustMatchExactly) {
  SurveyTotals totals;
  AccumulateRegion(totals, 4096, MEM_COMMIT | MEM_RESERVE, MEM_PRIVATE, 0);  // no state
  AccumulateRegion(totals, 4096, 0, MEM_MAPPED, 0);                          // no state
  AccumulateRegion(totals, 4096, MEM_COMMIT, MEM_PRIVATE | MEM_IMAGE, 0);    // no type
  AccumulateRegion(totals, 4096, MEM_FREE, MEM_FREE, 0);                     // no type
  ExpectStats(totals.commitStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.reserveStats, {0, 0, 0, 0});
  ExpectStats(totals.freeStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.privateStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.mappedStats, {1, 4096, 4096, 4096});
  ExpectStats(totals.imageStats, {0, 0, 0, 0});
}

TEST(AccumulateRegionTest, MinimumMaximumAndAverage) {
  const SurveyTotals a = Accumulate({200, 100, 300}, MEM_COMMIT, 0);
  ExpectStats(a.commitStats, {3, 600, 100, 300});
  EXPECT_EQ(Average(a.commitStats), 200);

  const SurveyTotals b = Accumulate({100, 100, 200}, MEM_COMMIT, 0);
  EXPECT_EQ(Average(b.commitStats), 133);  // remainder dropped

  const SurveyTotals c = Accumulate({4096}, MEM_COMMIT, 0);
  ExpectStats(c.commitStats, {1, 4096, 4096, 4096});
  EXPECT_EQ(Average(c.commitStats), 4096);
}

// Sizes are unsigned, the stored values signed, and they are compared as the numbers they
// stand for: a size of 2 GiB or more is stored as a negative pattern, which any later size
// then exceeds, and the total wraps at 32 bits.
TEST(AccumulateRegionTest, LargeSizesCompareAsNumbersAndTotalsWrap) {
  const SurveyTotals totals = Accumulate({0x80000000u, 0x10000u, 0x80000000u}, MEM_FREE, 0);
  EXPECT_EQ(totals.freeStats.count, 3);
  EXPECT_EQ(totals.freeStats.total, 0x10000);  // 2^32 + 0x10000, wrapped
  EXPECT_EQ(totals.freeStats.maximum, INT32_MIN);
  EXPECT_EQ(totals.freeStats.minimum, INT32_MIN);

  const SurveyTotals after = Accumulate({0xFFFFF000u, 4096}, MEM_COMMIT, 0);
  EXPECT_EQ(after.commitStats.maximum, 4096);
  EXPECT_EQ(after.commitStats.minimum, -4096);
  EXPECT_EQ(after.commitStats.total, 0);

  const SurveyTotals big = Accumulate({0x90000000u, 0x80000000u}, MEM_COMMIT, 0);
  EXPECT_EQ(big.commitStats.minimum, static_cast<std::int32_t>(0x90000000u));
  EXPECT_EQ(big.commitStats.maximum, INT32_MIN);
}

TEST(AccumulateRegionTest, AverageIsZeroUnlessTheTotalIsPositive) {
  CategoryStats wrapped{2, -8192, 4096, 4096};
  EXPECT_EQ(Average(wrapped), 0);
  CategoryStats zero{3, 0, 0, 0};
  EXPECT_EQ(Average(zero), 0);
  CategoryStats largest{1, INT32_MAX, INT32_MAX, INT32_MAX};
  EXPECT_EQ(Average(largest), INT32_MAX);
}

struct ThresholdCase {
  std::int32_t threshold;
  std::uint32_t size;
  std::uint32_t state;
  std::int32_t counted;
};

class LargeFreeTest : public testing::TestWithParam<ThresholdCase> {};

TEST_P(LargeFreeTest, CountsFreeRegionsOfAtLeastTheThreshold) {
  const ThresholdCase& c = GetParam();
  SurveyTotals totals;
  AccumulateRegion(totals, c.size, c.state, 0, c.threshold);
  EXPECT_EQ(totals.largeFreeCount, c.counted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeFreeTest,
    testing::Values(ThresholdCase{65536, 65536, MEM_FREE, 1},
                    ThresholdCase{65536, 65536 + 4096, MEM_FREE, 1},
                    ThresholdCase{65536, 65536 - 4096, MEM_FREE, 0},
                    ThresholdCase{65536, 0x7FFF0000u, MEM_FREE, 1},
                    ThresholdCase{65536, 0x80000000u, MEM_FREE, 1},  // larger as a number
                    ThresholdCase{65536, 1 << 20, MEM_RESERVE, 0},
                    ThresholdCase{65536, 1 << 20, MEM_COMMIT, 0},
                    ThresholdCase{0, 65536, MEM_FREE, 0}, ThresholdCase{-5, 65536, MEM_FREE, 0},
                    ThresholdCase{INT32_MIN, 0x80000000u, MEM_FREE, 0},
                    ThresholdCase{INT32_MAX, 0x80000000u, MEM_FREE, 1}));

}  // namespace
}  // namespace vmtally
