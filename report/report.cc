#include "report/report.h"

#include <array>
#include <charconv>

#include "platform/platform.h"

namespace vmtally {
namespace {

constexpr std::size_t kLabelWidth = 16;
constexpr std::size_t kNumberWidth = 11;

struct Row {
  std::string_view label;
  const CategoryStats& stats;
};

// The label cell, then one cell for each number, each cell padded and joined by a blank.
std::string TableLine(std::string_view label, const std::array<std::string, 5>& cells) {
  std::string line = PadRight(label, kLabelWidth);
  for (const std::string& cell : cells) {
    line += ' ';
    line += PadRight(cell, kNumberWidth);
  }
  return line;
}

}  // namespace

std::string PadRight(std::string_view text, std::size_t width) {
  std::string padded(text);
  if (padded.size() < width) {
    padded.append(width - padded.size(), ' ');
  }
  return padded;
}

std::string DecimalText(std::int64_t value) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return {digits.data(), result.ptr};
}

void WriteReport(const SurveyTotals& totals, std::int32_t freeThreshold) {
  WriteLine(TableLine("Type", {"Minimum", "Maximum", "Average", "Blk count", "Total"}));
  const std::string rule(kNumberWidth, '-');
  WriteLine(TableLine(std::string(kLabelWidth, '-'), {rule, rule, rule, rule, rule}));

  const std::array<Row, 6> rows = {{
      {"Commit", totals.commitStats},
      {"Reserve", totals.reserveStats},
      {"Free", totals.freeStats},
      {"Private", totals.privateStats},
      {"Mapped", totals.mappedStats},
      {"Image", totals.imageStats},
  }};
  for (const Row& row : rows) {
    WriteLine(TableLine(row.label, {DecimalText(row.stats.minimum), DecimalText(row.stats.maximum),
                                    DecimalText(Average(row.stats)), DecimalText(row.stats.count),
                                    DecimalText(row.stats.total)}));
  }

  if (freeThreshold > 0) {
    WriteLine("");
    WriteLine("Free block count > " + DecimalText(freeThreshold) + ": " +
              DecimalText(totals.largeFreeCount));
  }
  WriteLine("");
}

}  // namespace vmtally
