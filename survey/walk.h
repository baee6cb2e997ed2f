// The survey of one process: open it, walk its user address space region by
// region, close it, report.
#pragma once

#include <cstdint>

namespace vmtally {

// Prints the report for processId, or the system's text for why it cannot be opened.
void SurveyProcess(std::uint32_t processId, std::int32_t freeThreshold);

}  // namespace vmtally
