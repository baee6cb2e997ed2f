// The statistics table that ends a survey.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "survey/stats.h"

namespace vmtally {

// text followed by blanks up to width characters; a longer text comes back whole.
std::string PadRight(std::string_view text, std::size_t width);

// Plain signed decimal: no grouping, no leading zeros, whatever the locale.
std::string DecimalText(std::int64_t value);

// Prints the header, the rule, the six category rows, the large-free-block line when
// freeThreshold is above 0, and a closing empty line.
void WriteReport(const SurveyTotals& totals, std::int32_t freeThreshold);

}  // namespace vmtally
