// The statistics of one survey: three categories by region state, three by
// region type, and the count of large free blocks.
#pragma once

#include <cstdint>

namespace vmtally {

struct CategoryStats {
  std::int32_t count = 0;
  std::int32_t total = 0;    // wraps at 32 bits
  std::int32_t minimum = 0;  // 0 until the first region
  std::int32_t maximum = 0;
};

struct SurveyTotals {
  CategoryStats commitStats;
  CategoryStats reserveStats;
  CategoryStats freeStats;
  CategoryStats privateStats;
  CategoryStats mappedStats;
  CategoryStats imageStats;
  std::int32_t largeFreeCount = 0;  // free regions of at least the threshold
};

// Adds one region to its state category and, independently, to its type category.
// A free region of at least freeThreshold bytes is also counted as large, when
// freeThreshold is above 0.
void AccumulateRegion(SurveyTotals& totals, std::uint32_t regionSize, std::uint32_t state,
                      std::uint32_t type, std::int32_t freeThreshold);

// total / count, remainder dropped; 0 unless both are positive.
std::int64_t Average(const CategoryStats& stats);

}  // namespace vmtally
