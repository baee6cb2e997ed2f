// The survey of one process: open it, walk its user address space region by
// region, close it, report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vmtally {

// Prints the report for processId, or the system's text for why it cannot be opened.
void SurveyProcess(std::uint32_t processId, std::int32_t freeThreshold);

// The system message text with its trailing control characters, blanks and full stops
// removed.
std::string_view TrimMessageEnd(std::string_view text);

}  // namespace vmtally
