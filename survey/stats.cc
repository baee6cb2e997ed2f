#include "survey/stats.h"

#include "platform/platform.h"

namespace vmtally {
namespace {

CategoryStats* StateCategory(SurveyTotals& totals, std::uint32_t state) {
  switch (state) {
    case MEM_COMMIT:
      return &totals.commitStats;
    case MEM_RESERVE:
      return &totals.reserveStats;
    case MEM_FREE:
      return &totals.freeStats;
    default:
      return nullptr;
  }
}

CategoryStats* TypeCategory(SurveyTotals& totals, std::uint32_t type) {
  switch (type) {
    case MEM_PRIVATE:
      return &totals.privateStats;
    case MEM_MAPPED:
      return &totals.mappedStats;
    case MEM_IMAGE:
      return &totals.imageStats;
    default:
      return nullptr;
  }
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
  if (CategoryStats* stats = StateCategory(totals, state)) {
    AddToCategory(*stats, regionSize);
    if (stats == &totals.freeStats && freeThreshold > 0 &&
        std::int64_t{regionSize} >= freeThreshold) {
      totals.largeFreeCount = WrappingAdd(totals.largeFreeCount, 1);
    }
  }
  if (CategoryStats* stats = TypeCategory(totals, type)) {
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
