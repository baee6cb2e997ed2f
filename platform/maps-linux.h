// Reading /proc/<pid>/maps into the region table of a 32-bit view: everything
// from address 0 up to, not including, kViewEnd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vmtally {

inline constexpr std::uint32_t kViewEnd = 0x7FFF0000;

// One line of a maps file: "start-end perms offset major:minor inode [path]".
struct MapsLine {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool readable = false;
  bool writable = false;
  bool executable = false;
  bool shared = false;
  std::uint64_t device = 0;  // major << 32 | minor
  std::uint64_t inode = 0;
  std::string_view path;  // may hold blanks; empty for nameless memory
};

// Reads one line (without its line break). False when it is not a maps line.
bool ParseMapsLine(std::string_view text, MapsLine& line);

// How a mapping counts; kFile until the whole file has been read shows whether the same
// file is mapped executable somewhere, which makes it an image.
enum class MappingType : std::uint8_t { kPrivate, kMapped, kImage, kFile };

// A mapping inside the view, its end clipped at kViewEnd. Kept small: a process may have
// tens of thousands.
struct ViewMapping {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::uint8_t protect = 0;  // a PAGE_ value, 0 for a reservation
  bool reserved = false;     // no access at all
  MappingType type = MappingType::kPrivate;
};

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend auto operator<=>(const FileId&, const FileId&) = default;  // NOLINT(modernize-use-nullptr)
};

struct FileMapping {
  std::size_t index = 0;  // into MapsTable::mappings
  FileId file;
};

// The mappings of one reading of a maps file, in address order, none overlapping.
struct MapsTable {
  std::vector<ViewMapping> mappings;
  std::vector<FileMapping> fileMappings;  // the mappings of type kFile, and their files
  std::vector<FileId> executableFiles;    // files mapped executable anywhere in the process
  std::string partialLine;                // a line split between two chunks
  std::uint32_t linesEnd = 0;             // where the complete lines so far end, in the view
  std::uint32_t answeredEnd = 0;          // where what the reading says ends
};

// How a reading ended: at the end of the file, or cut short by a failed read.
enum class ReadingEnd : std::uint8_t { kEndOfFile, kFailedRead };

// A reading is BeginMaps, FeedMaps for each chunk of the file as it comes, then
// FinishMaps, which decides which file mappings are images. A reading to the end of the
// file answers for the whole view. One cut short keeps what it had: the view up to the
// end of its last complete line (the target may have been reaped, and what it said
// before stands), and nothing above.
void BeginMaps(MapsTable& table);
void FeedMaps(MapsTable& table, std::string_view chunk);
void FinishMaps(MapsTable& table, ReadingEnd end);

// Describes the region at address from the table, as VirtualQueryEx does. next is where
// the previous answer left off, so that a walk upward reads each mapping once. False at
// or above the end of what the reading answers for.
bool DescribeAddress(const MapsTable& table, std::size_t& next, std::uint32_t address,
                     std::uint32_t pageSize, MEMORY_BASIC_INFORMATION& region);

}  // namespace vmtally
