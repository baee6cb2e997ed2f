#include "platform/maps-linux.h"

#include <algorithm>
#include <array>

namespace vmtally {
namespace {

// The value of each character as a hex digit; 0xFF for a character that is none.
constexpr std::array<std::uint8_t, 256> kHexDigit = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(0xFF);
  for (std::uint8_t value = 0; value < 16; ++value) {
    table[static_cast<unsigned char>("0123456789abcdef"[value])] = value;
    table[static_cast<unsigned char>("0123456789ABCDEF"[value])] = value;
  }
  return table;
}();

// A position in one line of a maps file, read forward.
struct Cursor {
  const char* at;
  const char* end;
};

// Reads hex digits, moving past them. False when there are none or more than 64 bits'
// worth (the kernel writes at most 16).
bool TakeHex(Cursor& c, std::uint64_t& value) {
  const char* const start = c.at;
  std::uint64_t result = 0;
  // The kernel writes addresses with eight digits at least: eight at once, without a
  // branch for each, when there are eight.
  constexpr std::ptrdiff_t kAtOnce = 8;
  if (c.end - c.at >= kAtOnce) {
    std::uint8_t seen = 0;
    std::uint64_t eight = 0;
    for (std::ptrdiff_t i = 0; i < kAtOnce; ++i) {
      const std::uint8_t digit = kHexDigit[static_cast<unsigned char>(c.at[i])];
      seen |= digit;
      eight = eight << 4 | digit;
    }
    if (seen < 16) {  // all eight were digits: 0xFF marks any other character
      result = eight;
      c.at += kAtOnce;
    }
  }
  for (; c.at != c.end; ++c.at) {
    const std::uint8_t digit = kHexDigit[static_cast<unsigned char>(*c.at)];
    if (digit == 0xFF) {
      break;
    }
    result = result << 4 | digit;
  }
  const auto digits = c.at - start;
  value = result;
  return digits != 0 && digits <= 16;
}

bool SkipHex(Cursor& c) {
  const char* const start = c.at;
  while (c.at != c.end && kHexDigit[static_cast<unsigned char>(*c.at)] != 0xFF) {
    ++c.at;
  }
  return c.at != start;
}

bool TakeDecimal(Cursor& c, std::uint64_t& value) {
  const char* const start = c.at;
  std::uint64_t result = 0;
  for (; c.at != c.end && *c.at >= '0' && *c.at <= '9'; ++c.at) {
    const auto digit = static_cast<std::uint64_t>(*c.at - '0');
    if (result > (UINT64_MAX - digit) / 10) {
      return false;
    }
    result = result * 10 + digit;
  }
  value = result;
  return c.at != start;
}

bool TakeChar(Cursor& c, char wanted) {
  if (c.at == c.end || *c.at != wanted) {
    return false;
  }
  ++c.at;
  return true;
}

bool TakeBlanks(Cursor& c) {
  const char* const start = c.at;
  while (c.at != c.end && *c.at == ' ') {
    ++c.at;
  }
  return c.at != start;
}

// One letter of the perms column: the right's letter, or - where it is not granted.
bool TakeRight(Cursor& c, char letter, bool& granted) {
  granted = TakeChar(c, letter);
  return granted || TakeChar(c, '-');
}

std::uint8_t ProtectionOf(const MapsLine& line) {
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

MappingType TypeOf(const MapsLine& line) {
  if (line.path == "[vdso]") {
    return MappingType::kImage;
  }
  if (line.inode != 0) {
    return MappingType::kFile;
  }
  return line.shared ? MappingType::kMapped : MappingType::kPrivate;
}

std::uint32_t ClipToView(std::uint64_t address) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(address, kViewEnd));
}

void AddLine(MapsTable& table, std::string_view text) {
  MapsLine line;
  if (!ParseMapsLine(text, line)) {
    return;
  }
  if (line.executable && line.inode != 0) {
    table.executableFiles.push_back({line.device, line.inode});
  }
  // Mappings start and end on page boundaries, and pages are never smaller than 4 KiB: a
  // line that says otherwise describes no mapping.
  constexpr std::uint64_t kSmallestPage = 4096;
  if (line.end <= line.start || line.start % kSmallestPage != 0 || line.end % kSmallestPage != 0) {
    return;
  }
  table.linesEnd = std::max(table.linesEnd, ClipToView(line.end));
  if (line.start >= kViewEnd) {
    return;
  }
  auto start = static_cast<std::uint32_t>(line.start);
  const std::uint32_t end = ClipToView(line.end);
  // The file is read in pieces while the process runs on: never let a line that came in
  // out of order overlap the mappings already taken.
  if (!table.mappings.empty()) {
    start = std::max(start, table.mappings.back().end);
  }
  if (start >= end) {
    return;
  }
  const bool reserved = !line.readable && !line.writable && !line.executable;
  const MappingType type = TypeOf(line);
  if (type == MappingType::kFile) {
    table.fileMappings.push_back({table.mappings.size(), {line.device, line.inode}});
  }
  table.mappings.push_back({start, end, ProtectionOf(line), reserved, type});
}

std::uint32_t TypeCode(MappingType type) {
  switch (type) {
    case MappingType::kPrivate:
      return MEM_PRIVATE;
    case MappingType::kMapped:
      return MEM_MAPPED;
    case MappingType::kImage:
      return MEM_IMAGE;
    case MappingType::kFile:
      break;
  }
  return 0;
}

}  // namespace

bool ParseMapsLine(std::string_view text, MapsLine& line) {
  Cursor c{text.data(), text.data() + text.size()};
  std::uint64_t major = 0;
  std::uint64_t minor = 0;
  if (!TakeHex(c, line.start) || !TakeChar(c, '-') || !TakeHex(c, line.end) || !TakeBlanks(c) ||
      !TakeRight(c, 'r', line.readable) || !TakeRight(c, 'w', line.writable) ||
      !TakeRight(c, 'x', line.executable)) {
    return false;
  }
  line.shared = TakeChar(c, 's');
  if (!line.shared && !TakeChar(c, 'p')) {
    return false;
  }
  // Most mappings of a large process are anonymous, and their offset, device and inode
  // read the same every time.
  constexpr std::string_view kAnonymous = " 00000000 00:00 0";
  const std::string_view rest(c.at, static_cast<std::size_t>(c.end - c.at));
  if (rest.starts_with(kAnonymous) &&
      (rest.size() == kAnonymous.size() || rest[kAnonymous.size()] == ' ')) {
    c.at += kAnonymous.size();
    line.inode = 0;
  } else if (!TakeBlanks(c) || !SkipHex(c) || !TakeBlanks(c) || !TakeHex(c, major) ||
             !TakeChar(c, ':') || !TakeHex(c, minor) || !TakeBlanks(c) ||
             !TakeDecimal(c, line.inode)) {
    return false;
  }
  if (c.at != c.end && !TakeBlanks(c)) {
    return false;
  }
  line.device = major << 32 | (minor & 0xFFFFFFFFu);
  line.path = std::string_view(c.at, static_cast<std::size_t>(c.end - c.at));
  return true;
}

void BeginMaps(MapsTable& table) {
  table.mappings.clear();
  table.fileMappings.clear();
  table.executableFiles.clear();
  table.partialLine.clear();
  table.linesEnd = 0;
  table.answeredEnd = 0;
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

void FinishMaps(MapsTable& table, ReadingEnd end) {
  // The last line of a whole file may come without its line break; a failed read leaves
  // a line cut off anywhere.
  if (end == ReadingEnd::kEndOfFile) {
    AddLine(table, table.partialLine);
    table.answeredEnd = kViewEnd;
  } else {
    table.answeredEnd = table.linesEnd;
  }
  table.partialLine.clear();
  std::vector<FileId>& files = table.executableFiles;
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  for (const FileMapping& mapping : table.fileMappings) {
    const bool image = std::binary_search(files.begin(), files.end(), mapping.file);
    table.mappings[mapping.index].type = image ? MappingType::kImage : MappingType::kMapped;
  }
}

bool DescribeAddress(const MapsTable& table, std::size_t& next, std::uint32_t address,
                     std::uint32_t pageSize, MEMORY_BASIC_INFORMATION& region) {
  if (address >= table.answeredEnd) {
    return false;
  }
  // Page sizes are powers of two, and a mask is far quicker than a division; any other
  // size still rounds down, and 0 not at all.
  const bool powerOfTwo = (pageSize & (pageSize - 1)) == 0;
  std::uint32_t page = address;
  if (pageSize != 0) {
    page = powerOfTwo ? address & ~(pageSize - 1) : address - address % pageSize;
  }
  const std::vector<ViewMapping>& mappings = table.mappings;
  // next is where the last answer left off, right for a walk upward; a query below it
  // (or a next from another table) searches the table again.
  const bool fromNextOn = next <= mappings.size() && (next == 0 || mappings[next - 1].end <= page);
  if (!fromNextOn) {
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
    region.State = mapping.reserved ? MEM_RESERVE : MEM_COMMIT;
    region.Protect = mapping.protect;
    region.Type = TypeCode(mapping.type);
  } else {
    region.RegionSize = (next < mappings.size() ? mappings[next].start : table.answeredEnd) - page;
    region.State = MEM_FREE;
    region.Protect = PAGE_NOACCESS;
  }
  return true;
}

}  // namespace vmtally
