// The run of the tool, from the banner to the exit code.
#pragma once

#include <cstdint>
#include <string_view>

namespace vmtally {

inline constexpr std::string_view kUsageLine = "usage - vmtally [process id]";

// Runs the tool on the arguments the system holds (ArgumentCount, Argument) and returns
// the exit code: 0, or 1 when standard output fails where no usage line can stand in for
// the failure.
std::uint32_t RunTool();

}  // namespace vmtally
