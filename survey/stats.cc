#include "survey/stats.h"

#include <algorithm>
#include <array>

#include "platform/platform.h"

namespace vmtally {
namespace {

// Which category a state or type code selects.
struct CategoryKey {
  std::uint32_t code;
  CategoryStats SurveyTotals::*stats;
};

constexpr std::array<CategoryKey, 3> kStates = {{
    {MEM_COMMIT, &SurveyTotals::commitStats},
    {MEM_RESERVE, &SurveyTotals::reserveStats},
    {MEM_FREE, &SurveyTotals::freeStats},
}};

constexpr std::array<CategoryKey, 3> kTypes = {{
    {MEM_PRIVATE, &SurveyTotals::privateStats},
    {MEM_MAPPED, &SurveyTotals::mappedStats},
    {MEM_IMAGE, &SurveyTotals::imageStats},
}};

// The category whose code equals code exactly, or none. (cppcheck does not see that the
// result points into totals, which therefore cannot be const.)
// cppcheck-suppress constParameter
CategoryStats* Category(SurveyTotals& totals, const std::array<CategoryKey, 3>& keys,
                        std::uint32_t code) {
  const auto* key = std::find_if(keys.begin(), keys.end(), [code](const CategoryKey& candidate) {
    return candidate.code == code;
  });
  return key == keys.end() ? nullptr : &(totals.*key->stats);
}

// Adds with 32-bit wrap-around, as the counters are defined to.
std::int32_t WrappingAdd(std::int32_t value, std::uint32_t addend) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + addend);
}

// Sizes are unsigned and the stored values signed: they are compared as the numbers
// they stand for, both widened to 64 bits.
void AddToCategory(CategoryStats& stats, std::uint32_t size) {
  const std::int64_t wide = size;
  stats.count = WrappingAdd(stats.count, 1);
  stats.total = WrappingAdd(stats.total, size);
  if (wide > stats.maximum) {
    stats.maximum = static_cast<std::int32_t>(size);
  }
  if (wide < stats.minimum || stats.minimum == 0) {
    stats.minimum = static_cast<std::int32_t>(size);
  }
}

}  // namespace

void AccumulateRegion(SurveyTotals& totals, std::uint32_t regionSize, std::uint32_t state,
                      std::uint32_t type, std::int32_t freeThreshold) {
  if (CategoryStats* stats = Category(totals, kStates, state)) {
    AddToCategory(*stats, regionSize);
    if (stats == &totals.freeStats && freeThreshold > 0 &&
        std::int64_t{regionSize} >= freeThreshold) {
      totals.largeFreeCount = WrappingAdd(totals.largeFreeCount, 1);
    }
  }
  if (CategoryStats* stats = Category(totals, kTypes, type)) {
    AddToCategory(*stats, regionSize);
  }
}

std::int64_t Average(const CategoryStats& stats) {
  if (stats.count > 0 && stats.total > 0) {
    return stats.total / stats.count;
  }
  return 0;
}

}  // namespace vmtally
