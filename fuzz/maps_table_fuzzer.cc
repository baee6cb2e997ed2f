// Feeds arbitrary maps text, cut into chunks where the input says, to the Linux region
// table, ending the reading at the end of the file or with a failed read as the input
// says, then walks it as a survey does. Whatever the text, the walk must cover what the
// reading answers for (the whole view when it was read to the end) exactly once, in
// regions that do not overlap, and nothing above.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/maps-linux.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  // The first byte picks the chunk size, and whether a read failed at the end.
  const std::size_t chunk = 1 + data[0] % 64;
  const auto end =
      (data[0] & 0x40) != 0 ? vmtally::ReadingEnd::kFailedRead : vmtally::ReadingEnd::kEndOfFile;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  vmtally::MapsTable table;
  vmtally::BeginMaps(table);
  for (std::size_t at = 0; at < text.size(); at += chunk) {
    vmtally::FeedMaps(table, text.substr(at, chunk));
  }
  vmtally::FinishMaps(table, end);
  if (end == vmtally::ReadingEnd::kEndOfFile && table.answeredEnd != vmtally::kViewEnd) {
    std::fprintf(stderr, "a whole file answers up to %08x only\n", table.answeredEnd);
    std::abort();
  }

  std::uint64_t covered = 0;
  std::size_t next = 0;
  vmtally::MEMORY_BASIC_INFORMATION region;
  for (std::uint32_t address = 0; vmtally::DescribeAddress(table, next, address, 4096, region);
       address += region.RegionSize) {
    if (region.BaseAddress != address || region.RegionSize == 0 ||
        region.RegionSize > vmtally::kViewEnd - address) {
      std::fprintf(stderr, "bad region at %08x: base %08x size %08x\n", address, region.BaseAddress,
                   region.RegionSize);
      std::abort();
    }
    covered += region.RegionSize;
  }
  if (covered != table.answeredEnd) {
    std::fprintf(stderr, "the walk covered %llu bytes\n", static_cast<unsigned long long>(covered));
    std::abort();
  }
  return 0;
}
