// The regions the Linux fixture target maps, at fixed places below 2 GiB. A 64-bit PIE
// process has nothing else there, so a survey of the fixture is known to the byte.
#pragma once

#include <cstdint>

namespace vmtally::fixture {

enum class Kind {
  kPrivate,
  kReserved,
  kSharedFile,
  kImageCode,
  kImageData,
  kImageGap,
  kSharedAnon
};

struct Mapping {
  std::uint32_t address;
  std::uint32_t size;
  Kind kind;
  std::uint32_t fileOffset;  // into the image file, for the image kinds
};

inline constexpr Mapping kMappings[] = {
    {0x10000000, 0x10000, Kind::kPrivate, 0},
    {0x10020000, 0x40000, Kind::kReserved, 0},
    {0x10080000, 0x20000, Kind::kSharedFile, 0},
    {0x10100000, 0x3000, Kind::kImageCode, 0},
    {0x10104000, 0x2000, Kind::kImageData, 0x3000},
    {0x10106000, 0x1000, Kind::kImageGap, 0x5000},
    {0x10200000, 0x10000, Kind::kSharedAnon, 0},
    {0x7FFE0000, 0x20000, Kind::kPrivate, 0},  // straddles the end of the view
};

inline constexpr std::uint32_t kImageFileSize = 0x6000;
inline constexpr std::uint32_t kDataFileSize = 0x20000;

}  // namespace vmtally::fixture
