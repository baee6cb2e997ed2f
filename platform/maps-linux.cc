#include "platform/maps-linux.h"

#include <algorithm>

namespace vmtally {
namespace {

// Reads hex digits at the front of text, moving past them. False when there are none or
// when they do not fit 64 bits.
bool TakeHex(std::string_view& text, std::uint64_t& value) {
  value = 0;
  std::size_t digits = 0;
  while (digits < text.size()) {
    const char c = text[digits];
    std::uint64_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint64_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint64_t>(c - 'A' + 10);
    } else {
      break;
    }
    if (value >> 60 != 0) {
      return false;
    }
    value = value << 4 | digit;
    ++digits;
  }
  text.remove_prefix(digits);
  return digits != 0;
}

bool TakeDecimal(std::string_view& text, std::uint64_t& value) {
  value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    const auto digit = static_cast<std::uint64_t>(text[digits] - '0');
    if (value > (UINT64_MAX - digit) / 10) {
      return false;
    }
    value = value * 10 + digit;
    ++digits;
  }
  text.remove_prefix(digits);
  return digits != 0;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) {
    return false;
  }
  text.remove_prefix(1);
  return true;
}

bool TakeBlanks(std::string_view& text) {
  const std::size_t blanks = std::min(text.find_first_not_of(' '), text.size());
  text.remove_prefix(blanks);
  return blanks != 0;
}

// rwx, as the perms column spells it; - for a right not granted.
bool TakeRight(std::string_view& text, char letter, bool& granted) {
  granted = !text.empty() && text.front() == letter;
  return TakeChar(text, letter) || TakeChar(text, '-');
}

std::uint32_t ProtectionOf(const MapsLine& line) {
  if (line.executable) {
    if (line.writable) {
      return PAGE_EXECUTE_READWRITE;
    }
    return line.readable ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
  }
  if (line.writable) {
    return PAGE_READWRITE;
  }
  return line.readable ? PAGE_READONLY : 0;
}

// The type a line gives away on its own; 0 for a file mapping, which is an image only if
// the same file is mapped executable somewhere in the process.
std::uint32_t TypeOf(const MapsLine& line) {
  if (line.path == "[vdso]") {
    return MEM_IMAGE;
  }
  if (line.inode != 0) {
    return 0;
  }
  return line.shared ? MEM_MAPPED : MEM_PRIVATE;
}

void AddLine(MapsTable& table, std::string_view text) {
  MapsLine line;
  if (!ParseMapsLine(text, line)) {
    return;
  }
  if (line.executable && line.inode != 0) {
    table.executableFiles.push_back({line.device, line.inode});
  }
  if (line.start >= kViewEnd || line.end <= line.start) {
    return;
  }
  auto start = static_cast<std::uint32_t>(line.start);
  const auto end = static_cast<std::uint32_t>(std::min<std::uint64_t>(line.end, kViewEnd));
  // The file is read in pieces while the process runs on: never let a line that came in
  // out of order overlap the mappings already taken.
  if (!table.mappings.empty()) {
    start = std::max(start, table.mappings.back().end);
  }
  if (start >= end) {
    return;
  }
  const bool reserved = !line.readable && !line.writable && !line.executable;
  table.mappings.push_back({start, end, reserved ? MEM_RESERVE : MEM_COMMIT, TypeOf(line),
                            ProtectionOf(line), line.device, line.inode});
}

}  // namespace

bool ParseMapsLine(std::string_view text, MapsLine& line) {
  std::uint64_t offset = 0;
  std::uint64_t major = 0;
  std::uint64_t minor = 0;
  bool privateMapping = false;
  if (!TakeHex(text, line.start) || !TakeChar(text, '-') || !TakeHex(text, line.end) ||
      !TakeBlanks(text) || !TakeRight(text, 'r', line.readable) ||
      !TakeRight(text, 'w', line.writable) || !TakeRight(text, 'x', line.executable)) {
    return false;
  }
  line.shared = TakeChar(text, 's');
  privateMapping = !line.shared && TakeChar(text, 'p');
  if ((!line.shared && !privateMapping) || !TakeBlanks(text) || !TakeHex(text, offset) ||
      !TakeBlanks(text) || !TakeHex(text, major) || !TakeChar(text, ':') || !TakeHex(text, minor) ||
      !TakeBlanks(text) || !TakeDecimal(text, line.inode)) {
    return false;
  }
  if (!text.empty() && !TakeBlanks(text)) {
    return false;
  }
  line.device = major << 32 | (minor & 0xFFFFFFFFu);
  line.path = text;
  return true;
}

void BeginMaps(MapsTable& table) {
  table.mappings.clear();
  table.executableFiles.clear();
  table.partialLine.clear();
}

void FeedMaps(MapsTable& table, std::string_view chunk) {
  if (!table.partialLine.empty()) {
    const std::size_t lineEnd = chunk.find('\n');
    table.partialLine.append(chunk.substr(0, lineEnd));
    if (lineEnd == std::string_view::npos) {
      return;
    }
    AddLine(table, table.partialLine);
    table.partialLine.clear();
    chunk.remove_prefix(lineEnd + 1);
  }
  for (std::size_t lineEnd = chunk.find('\n'); lineEnd != std::string_view::npos;
       lineEnd = chunk.find('\n')) {
    AddLine(table, chunk.substr(0, lineEnd));
    chunk.remove_prefix(lineEnd + 1);
  }
  table.partialLine.assign(chunk);
}

void FinishMaps(MapsTable& table) {
  if (!table.partialLine.empty()) {
    AddLine(table, table.partialLine);
    table.partialLine.clear();
  }
  std::vector<FileId>& files = table.executableFiles;
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  for (ViewMapping& mapping : table.mappings) {
    if (mapping.type == 0) {
      const bool image =
          std::binary_search(files.begin(), files.end(), FileId{mapping.device, mapping.inode});
      mapping.type = image ? MEM_IMAGE : MEM_MAPPED;
    }
  }
}

bool DescribeAddress(const MapsTable& table, std::size_t& next, std::uint32_t address,
                     std::uint32_t pageSize, MEMORY_BASIC_INFORMATION& region) {
  if (address >= kViewEnd) {
    return false;
  }
  const std::uint32_t page = pageSize == 0 ? address : address - address % pageSize;
  const std::vector<ViewMapping>& mappings = table.mappings;
  if (next > mappings.size() || (next > 0 && mappings[next - 1].end > page)) {
    next = static_cast<std::size_t>(
        std::partition_point(mappings.begin(), mappings.end(),
                             [page](const ViewMapping& m) { return m.end <= page; }) -
        mappings.begin());
  }
  while (next < mappings.size() && mappings[next].end <= page) {
    ++next;
  }

  region = MEMORY_BASIC_INFORMATION{};
  region.BaseAddress = page;
  if (next < mappings.size() && mappings[next].start <= page) {
    const ViewMapping& mapping = mappings[next];
    region.AllocationBase = mapping.start;
    region.AllocationProtect = mapping.protect;
    region.RegionSize = mapping.end - page;
    region.State = mapping.state;
    region.Protect = mapping.protect;
    region.Type = mapping.type;
  } else {
    region.RegionSize = (next < mappings.size() ? mappings[next].start : kViewEnd) - page;
    region.State = MEM_FREE;
    region.Protect = PAGE_NOACCESS;
  }
  return true;
}

}  // namespace vmtally
