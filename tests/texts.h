// The texts the tool prints, spelled once for every test that expects them.
#pragma once

#include <cstddef>
#include <string>

namespace vmtally::texts {

inline const std::string kBanner =
    "vmtally " VMTALLY_VERSION " - address space statistics, by the vmtally authors";
inline const std::string kUsage = "usage - vmtally [process id]";
inline const std::string kHeader =
    "Type             Minimum     Maximum     Average     Blk count   Total      ";
inline const std::string kRule =
    "---------------- ----------- ----------- ----------- ----------- -----------";

// Every line of the table is this long, trailing blanks included, before its CR LF.
inline constexpr std::size_t kTableWidth = 76;

}  // namespace vmtally::texts
