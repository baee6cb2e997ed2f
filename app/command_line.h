// Turning the command line into a process id and a threshold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vmtally {

// A whole command-line text is split into arguments, the program path in front dropped.
// Characters 1 to 32 separate arguments and NUL ends the text; a double quote opens a
// stretch, up to the next double quote or the end, in which separators belong to the
// argument; the quotes themselves are removed. A pair of double quotes where an argument
// would start is skipped. The arguments end at the first empty one.

// How many arguments the text holds. Allocates nothing.
std::uint32_t CountArguments(std::string_view commandLine);

// The arguments themselves.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// A signed 32-bit number: leading blanks, an optional sign, then decimal digits or
// hexadecimal ones after $, x, X, 0x or 0X, and nothing else. Hexadecimal takes up to
// 8 significant digits as a 32-bit pattern (so $FFFFFFFF is -1); decimal must fit.
// nullopt for anything else.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace vmtally
