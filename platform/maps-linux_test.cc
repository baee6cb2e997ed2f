#include "platform/maps-linux.h"

#include <gtest/gtest.h>

namespace vmtally {
namespace {

TEST(ParseMapsLineTest, ReadsEveryField) {
  MapsLine line;
  ASSERT_TRUE(
      ParseMapsLine("7f2c4a5e1000-7f2c4a603000 r-xp 00028000 fd:01 1835023                    "
                    "/usr/lib/x86_64-linux-gnu/libc.so.6",
                    line));
  EXPECT_EQ(line.start, 0x7f2c4a5e1000U);
  EXPECT_EQ(line.end, 0x7f2c4a603000U);
  EXPECT_TRUE(line.readable);
  EXPECT_FALSE(line.writable);
  EXPECT_TRUE(line.executable);
  EXPECT_FALSE(line.shared);
  EXPECT_EQ(line.device, std::uint64_t{0xfd} << 32 | 0x01);
  EXPECT_EQ(line.inode, 1835023U);
  EXPECT_EQ(line.path, "/usr/lib/x86_64-linux-gnu/libc.so.6");
}

TEST(ParseMapsLineTest, PathsKeepTheirBlanks) {
  MapsLine line;
  ASSERT_TRUE(ParseMapsLine("10000000-10001000 rw-s 00000000 00:05 42 /tmp/a b (deleted)", line));
  EXPECT_TRUE(line.shared);
  EXPECT_EQ(line.path, "/tmp/a b (deleted)");
  ASSERT_TRUE(ParseMapsLine("10000000-10001000 ---p 00000000 00:00 0", line));
  EXPECT_EQ(line.path, "");
  EXPECT_FALSE(line.readable || line.writable || line.executable || line.shared);
}

// Anonymous lines have a shape of their own, read at once; lines that only begin like one
// are read field by field.
TEST(ParseMapsLineTest, AnonymousAndNearlyAnonymousLines) {
  struct Case {
    std::string_view text;
    std::uint64_t device, inode;
    std::string_view path;
  };
  for (const Case& c : {Case{"10000000-10001000 rw-p 00000000 00:00 0", 0, 0, ""},
                        Case{"10000000-10001000 rw-p 00000000 00:00 0 ", 0, 0, ""},
                        Case{"10000000-10001000 rw-p 00000000 00:00 0     [heap]", 0, 0, "[heap]"},
                        Case{"10000000-10001000 rw-p 00000000 00:00 01 x", 0, 1, "x"},
                        Case{"10000000-10001000 rw-p 00000000 00:00 07", 0, 7, ""},
                        Case{"10000000-10001000 rw-p 00000000 00:01 0", 1, 0, ""},
                        Case{"10000000-10001000 rw-p 0 00:00 0 y", 0, 0, "y"}}) {
    MapsLine line;
    ASSERT_TRUE(ParseMapsLine(c.text, line)) << c.text;
    EXPECT_EQ(line.device, c.device) << c.text;
    EXPECT_EQ(line.inode, c.inode) << c.text;
    EXPECT_EQ(line.path, c.path) << c.text;
  }
  MapsLine line;
  EXPECT_FALSE(ParseMapsLine("10000000-10001000 rw-p 00000000 00:00 0x", line));
}

TEST(ParseMapsLineTest, RejectsWhatIsNotAMapsLine) {
  MapsLine line;
  for (std::string_view text :
       {"", "garbage", "10000000 rw-p 00000000 00:00 0", "10000000-10001000 rw-x 0 00:00 0",
        "10000000-10001000 rwzp 0 00:00 0", "10000000-10001000 rw-p 0 00:00",
        "10000000-10001000 rw-p 0 0000 0", "10000000-10001000 rw-p 0 00:00 0x",
        "1000000000000000000-1 rw-p 0 00:00 0",
        "10000000-10001000 rw-p 0 00:00 99999999999999999999"}) {
    EXPECT_FALSE(ParseMapsLine(text, line)) << text;
  }
}

struct Region {
  std::uint32_t base, size, state, type, protect;
  friend bool operator==(const Region&, const Region&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Region& r) {
    return out << std::hex << "{" << r.base << " " << r.size << " " << r.state << " " << r.type
               << " " << r.protect << "}";
  }
};

// The regions a walk from 0 upward sees in the table.
std::vector<Region> Walk(const MapsTable& table) {
  std::vector<Region> regions;
  std::size_t next = 0;
  MEMORY_BASIC_INFORMATION info;
  for (std::uint32_t address = 0; DescribeAddress(table, next, address, 4096, info);
       address += info.RegionSize) {
    regions.push_back({info.BaseAddress, info.RegionSize, info.State, info.Type, info.Protect});
  }
  return regions;
}

MapsTable Read(std::string_view text, std::size_t chunk = 1 << 20,
               ReadingEnd end = ReadingEnd::kEndOfFile) {
  MapsTable table;
  BeginMaps(table);
  for (std::size_t at = 0; at < text.size(); at += chunk) {
    FeedMaps(table, text.substr(at, chunk));
  }
  FinishMaps(table, end);
  return table;
}

// A process as its maps file shows it: an executable and a library with their sections,
// heap, stack, shared memory, a data file, a guard area, and everything above 2 GiB.
constexpr std::string_view kMaps =
    "00010000-00011000 r--p 00000000 08:01 100 /opt/app/app bin\n"
    "00011000-00013000 r-xp 00001000 08:01 100 /opt/app/app bin\n"
    "00013000-00014000 rw-p 00003000 08:01 100 /opt/app/app bin\n"
    "00014000-00020000 rw-p 00000000 00:00 0 [heap]\n"
    "00400000-00500000 ---p 00000000 00:00 0\n"
    "00500000-00510000 rw-p 00000000 00:00 0 [stack]\n"
    "10000000-10004000 rw-s 00000000 00:01 2050 /dev/zero (deleted)\n"
    "20000000-20010000 r--s 00000000 08:01 300 /data/file\n"
    "20010000-20011000 r--p 00000000 08:01 300 /data/file\n"
    "30000000-30001000 r--p 00000000 08:01 400 /lib/libx.so\n"
    "30001000-30002000 ---p 00001000 08:01 400 /lib/libx.so\n"
    "30002000-30003000 -w-p 00000000 00:00 0 [anon:odd]\n"
    "30003000-30004000 --xp 00000000 00:00 0\n"
    "30004000-30005000 rwxp 00000000 00:00 0\n"
    "30005000-30006000 r-xp 00000000 00:00 0 [vdso]\n"
    "7fff0000-80010000 rw-p 00000000 00:00 0 [stack]\n"
    "7f0000000000-7f0000002000 r-xp 00000000 08:01 400 /lib/libx.so\n"
    "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0 [vsyscall]\n";

TEST(MapsTableTest, StatesTypesAndProtections) {
  const std::vector<Region> expected = {
      {0x00000000, 0x00010000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x00010000, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_READONLY},
      {0x00011000, 0x2000, MEM_COMMIT, MEM_IMAGE, PAGE_EXECUTE_READ},
      {0x00013000, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_READWRITE},
      {0x00014000, 0xC000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE},
      {0x00020000, 0x003E0000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x00400000, 0x00100000, MEM_RESERVE, MEM_PRIVATE, 0},
      {0x00500000, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE},
      {0x00510000, 0x0FAF0000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x10000000, 0x4000, MEM_COMMIT, MEM_MAPPED, PAGE_READWRITE},
      {0x10004000, 0x0FFFC000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x20000000, 0x10000, MEM_COMMIT, MEM_MAPPED, PAGE_READONLY},
      {0x20010000, 0x1000, MEM_COMMIT, MEM_MAPPED, PAGE_READONLY},
      {0x20011000, 0x0FFEF000, MEM_FREE, 0, PAGE_NOACCESS},
      // executable only above 2 GiB, still an image
      {0x30000000, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_READONLY},
      {0x30001000, 0x1000, MEM_RESERVE, MEM_IMAGE, 0},
      {0x30002000, 0x1000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE},
      {0x30003000, 0x1000, MEM_COMMIT, MEM_PRIVATE, PAGE_EXECUTE},
      {0x30004000, 0x1000, MEM_COMMIT, MEM_PRIVATE, PAGE_EXECUTE_READWRITE},
      {0x30005000, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_EXECUTE_READ},
      {0x30006000, 0x7FFF0000 - 0x30006000, MEM_FREE, 0, PAGE_NOACCESS},
  };
  EXPECT_EQ(Walk(Read(kMaps)), expected);
}

TEST(MapsTableTest, ChunkBoundariesChangeNothing) {
  const std::vector<Region> whole = Walk(Read(kMaps));
  for (std::size_t chunk : {1, 2, 7, 39, 40, 41, 100, 4096}) {
    EXPECT_EQ(Walk(Read(kMaps, chunk)), whole) << chunk;
  }
  // The last line may come without its line break.
  EXPECT_EQ(Walk(Read(kMaps.substr(0, kMaps.size() - 1), 5)), whole);
}

TEST(MapsTableTest, TheViewEndsBelow0x7FFF0000) {
  const MapsTable table = Read("7ffe0000-7fff1000 rw-p 00000000 00:00 0\n");
  const std::vector<Region> expected = {
      {0, 0x7FFE0000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x7FFE0000, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE}};
  EXPECT_EQ(Walk(table), expected);

  std::size_t next = 0;
  MEMORY_BASIC_INFORMATION info;
  EXPECT_FALSE(DescribeAddress(table, next, 0x7FFF0000, 4096, info));
  EXPECT_FALSE(DescribeAddress(table, next, 0xFFFFFFFF, 4096, info));
}

TEST(MapsTableTest, AnEmptyFileIsOneFreeRegion) {
  const std::vector<Region> expected = {{0, 0x7FFF0000, MEM_FREE, 0, PAGE_NOACCESS}};
  EXPECT_EQ(Walk(Read("")), expected);
}

TEST(MapsTableTest, AnswersFromTheAddressPageOnAndInAnyOrder) {
  const MapsTable table = Read(kMaps);
  std::size_t next = 0;
  MEMORY_BASIC_INFORMATION info;
  ASSERT_TRUE(DescribeAddress(table, next, 0x20000123, 4096, info));
  EXPECT_EQ(info.BaseAddress, 0x20000000U);
  EXPECT_EQ(info.AllocationBase, 0x20000000U);
  EXPECT_EQ(info.RegionSize, 0x10000U);
  ASSERT_TRUE(DescribeAddress(table, next, 0x00011FFF, 4096, info));  // backward
  EXPECT_EQ(info.BaseAddress, 0x00011000U);
  EXPECT_EQ(info.AllocationBase, 0x00011000U);
  EXPECT_EQ(info.RegionSize, 0x2000U);
  EXPECT_EQ(info.Type, MEM_IMAGE);
  ASSERT_TRUE(DescribeAddress(table, next, 0x00600000, 4096, info));  // free, mid-gap
  EXPECT_EQ(info.BaseAddress, 0x00600000U);
  EXPECT_EQ(info.AllocationBase, 0U);
  EXPECT_EQ(info.RegionSize, 0x10000000U - 0x00600000U);
}

// The region starts at the address's page, whatever the page size: rounded down to a
// power of two by a mask, to any other size by a division, not at all for 0.
TEST(MapsTableTest, RoundsDownToThePageOfAnySize) {
  const MapsTable table = Read(kMaps);
  struct Case {
    std::uint32_t pageSize, base;
  };
  for (const Case& c : {Case{4096, 0x20001000}, Case{65536, 0x20000000}, Case{3000, 0x20000C10},
                        Case{0, 0x20001234}}) {
    std::size_t next = 0;
    MEMORY_BASIC_INFORMATION info;
    ASSERT_TRUE(DescribeAddress(table, next, 0x20001234, c.pageSize, info)) << c.pageSize;
    EXPECT_EQ(info.BaseAddress, c.base) << c.pageSize;
    EXPECT_EQ(info.BaseAddress + info.RegionSize, 0x20010000U) << c.pageSize;
  }
}

// Lines read while the process changes can overlap or come out of order; the table keeps
// its mappings in order and apart, and ignores lines it cannot read or that end or start
// between pages.
TEST(MapsTableTest, OverlapsAndBadLinesAreHarmless) {
  const MapsTable table = Read(
      "10000000-10004000 rw-p 00000000 00:00 0\n"
      "10002000-10006000 r--p 00000000 00:00 0\n"
      "not a line\n"
      "0f000000-0f001000 rw-p 00000000 00:00 0\n"
      "10008000-10008000 rw-p 00000000 00:00 0\n"
      "10010000-10011004 rw-p 00000000 00:00 0\n"
      "10020800-10021000 rw-p 00000000 00:00 0\n");
  const std::vector<Region> expected = {
      {0, 0x10000000, MEM_FREE, 0, PAGE_NOACCESS},
      {0x10000000, 0x4000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE},
      {0x10004000, 0x2000, MEM_COMMIT, MEM_PRIVATE, PAGE_READONLY},
      {0x10006000, 0x7FFF0000 - 0x10006000, MEM_FREE, 0, PAGE_NOACCESS},
  };
  EXPECT_EQ(Walk(table), expected);
}

// A reading cut short by a failed read (the target was reaped) answers from the lines it
// had: up to the end of the last complete line, and nothing above, whatever came of the
// line the failure cut off.
struct CutShortCase {
  std::string_view name;
  std::string_view text;
  std::vector<Region> regions;
};

class CutShortReadingTest : public testing::TestWithParam<CutShortCase> {};

TEST_P(CutShortReadingTest, AnswersUpToTheLastCompleteLine) {
  const CutShortCase& c = GetParam();
  for (std::size_t chunk : {1, 7, 4096}) {
    const MapsTable table = Read(c.text, chunk, ReadingEnd::kFailedRead);
    EXPECT_EQ(Walk(table), c.regions) << c.name << ", chunks of " << chunk;
    const std::uint32_t end = c.regions.empty() ? 0 : c.regions.back().base + c.regions.back().size;
    std::size_t next = 0;
    MEMORY_BASIC_INFORMATION info;
    EXPECT_FALSE(DescribeAddress(table, next, end, 4096, info)) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CutShortReadingTest,
    testing::Values(
        CutShortCase{"nothing read", "", {}},
        CutShortCase{"only part of a line", "10000000-10004000 rw-p 00000000 00:00 0", {}},
        CutShortCase{"two lines and part of a third",
                     "00010000-00011000 r--p 00000000 08:01 100 /opt/app\n"
                     "10000000-10004000 rw-p 00000000 00:00 0\n"
                     "20000000-20001000 r-",
                     {{0, 0x10000, MEM_FREE, 0, PAGE_NOACCESS},
                      {0x10000, 0x1000, MEM_COMMIT, MEM_MAPPED, PAGE_READONLY},
                      {0x11000, 0x10000000 - 0x11000, MEM_FREE, 0, PAGE_NOACCESS},
                      {0x10000000, 0x4000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE}}},
        CutShortCase{"a last line complete but for its line break",
                     "10000000-10004000 rw-p 00000000 00:00 0\n"
                     "20000000-20001000 rw-p 00000000 00:00 0",
                     {{0, 0x10000000, MEM_FREE, 0, PAGE_NOACCESS},
                      {0x10000000, 0x4000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE}}},
        CutShortCase{"a line above the view answers for all of it",
                     "10000000-10004000 rw-p 00000000 00:00 0\n"
                     "7f0000000000-7f0000001000 rw-p 00000000 00:00 0\n"
                     "7f0000002000-7f00",
                     {{0, 0x10000000, MEM_FREE, 0, PAGE_NOACCESS},
                      {0x10000000, 0x4000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE},
                      {0x10004000, 0x7FFF0000 - 0x10004000, MEM_FREE, 0, PAGE_NOACCESS}}}));

}  // namespace
}  // namespace vmtally
