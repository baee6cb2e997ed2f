// The built vmtally against real processes: the fixture target, processes that do not
// exist or may not be read, and standard output that fails.
#include <dirent.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "process.h"
#include "texts.h"

namespace vmtally::e2e {
namespace {

const std::string kUsage = texts::kUsage + "\r\n";
const std::string kTableTop = texts::kHeader + "\r\n" + texts::kRule + "\r\n";

// A line of the table as it goes out, CR LF and all.
constexpr std::size_t kTableLine = texts::kTableWidth + 2;

const std::string kFixtureTable =
    kTableTop +
    "Commit           8192        131072      58026       6           348160     \r\n"
    "Reserve          4096        262144      133120      2           266240     \r\n"
    "Free             4096        1876754432  306686244   7           2146803712 \r\n"
    "Private          65536       262144      131072      3           393216     \r\n"
    "Mapped           65536       131072      98304       2           196608     \r\n"
    "Image            4096        12288       8192        3           24576      \r\n";

// The report of a process with no mappings: one free region over the whole view.
const std::string kEmptyTable =
    kTableTop +
    "Commit           0           0           0           0           0          \r\n"
    "Reserve          0           0           0           0           0          \r\n"
    "Free             2147418112  2147418112  2147418112  1           2147418112 \r\n"
    "Private          0           0           0           0           0          \r\n"
    "Mapped           0           0           0           0           0          \r\n"
    "Image            0           0           0           0           0          \r\n"
    "\r\n";

// The lines of a text that ends each with CR LF, each with its CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(text.substr(start, end + 2 - start));
  }
  return lines;
}

std::string FirstLines(const std::vector<std::string>& lines, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < lines.size(); ++i) {
    text += lines[i];
  }
  return text;
}

// Tests that run vmtally under strace, to fail its writes or hold its reads back.
class StraceTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("strace")) {
      GTEST_SKIP() << "needs strace";
    }
  }
};
class InjectedWriteFailureTest : public StraceTest {};
class HeldReadTest : public StraceTest {};

// Runs vmtally under strace with its write number `write` to standard output failing, and
// those after it too when `andLater`. Standard output is a file, so that only writes to it
// count (a sanitizer's own writes elsewhere must not fail).
RunResult RunWithFailingWrite(const std::vector<std::string>& arguments, int write, bool andLater) {
  const std::filesystem::path file = ScratchPath("failing-write.out");
  return RunVmtally(arguments, {.output = Output::kFile,
                                .file = file,
                                .wrapper = {"strace", "-qq", "-o", "/dev/null", "-P", file, "-e",
                                            "trace=write", "-e",
                                            "inject=write:error=EIO:when=" + std::to_string(write) +
                                                (andLater ? "+" : "")}});
}

// Runs vmtally under strace with its read number `read` of the target's maps file held
// back for two seconds: time enough for the test to end the target meanwhile, even on a
// busy machine.
RunResult RunWithDelayedRead(const std::vector<std::string>& arguments, pid_t target, int read) {
  return RunVmtally(
      arguments, {.wrapper = {"strace", "-qq", "-o", "/dev/null", "-P",
                              "/proc/" + std::to_string(target) + "/maps", "-e", "trace=read", "-e",
                              "inject=read:delay_enter=2000000:when=" + std::to_string(read)}});
}

// The fields of /proc/PID/stat after the command name, from the state on; empty when the
// process is gone.
std::vector<std::string> StatFields(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  std::vector<std::string> fields;
  std::istringstream rest(close == std::string::npos ? "" : text.substr(close + 1));
  for (std::string field; rest >> field;) {
    fields.push_back(field);
  }
  return fields;
}

// A kernel thread: a process whose flags (the ninth field) have PF_KTHREAD set.
pid_t FindKernelThread() {
  DIR* proc = opendir("/proc");
  pid_t found = -1;
  while (dirent* entry = proc == nullptr ? nullptr : readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    const std::vector<std::string> fields = pid > 0 ? StatFields(pid) : std::vector<std::string>{};
    if (fields.size() > 6 && (std::stoul(fields[6]) & 0x00200000) != 0) {
      found = pid;
      break;
    }
  }
  if (proc != nullptr) {
    closedir(proc);
  }
  return found;
}

std::string Hex(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(pid));
  return text;
}

TEST(FixtureSurveyTest, WholeReportToTheByte) {
  FixtureProcess target;
  const RunResult run = RunVmtally({std::to_string(target.pid), "65536"});
  EXPECT_EQ(run.out, BannerLines() + kFixtureTable + "\r\nFree block count > 65536: 6\r\n\r\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0);
}

TEST(FixtureSurveyTest, NumberFormatsAndThresholds) {
  FixtureProcess target;
  const std::string pid = std::to_string(target.pid);
  struct Case {
    std::vector<std::string> arguments;
    std::string thresholdLines;
  };
  const std::vector<Case> cases = {
      {{pid}, ""},
      {{"0x" + Hex(target.pid)}, ""},
      {{"$" + Hex(target.pid), "-5"}, ""},
      {{" " + pid, "0"}, ""},
      {{pid, "$10001"}, "\r\nFree block count > 65537: 5\r\n"},
      {{pid, "2147483647"}, "\r\nFree block count > 2147483647: 0\r\n"},
      {{pid, "4096"}, "\r\nFree block count > 4096: 7\r\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunVmtally(c.arguments);
    EXPECT_EQ(run.out, BannerLines() + kFixtureTable + c.thresholdLines + "\r\n")
        << testing::PrintToString(c.arguments);
    EXPECT_EQ(run.exitCode, 0);
  }
}

TEST(CommandLineTest, UsageRunsNeverSurvey) {
  FixtureProcess target;
  const std::string pid = std::to_string(target.pid);
  const std::vector<std::vector<std::string>> cases = {
      {}, {pid, "65536", "1"}, {"abc"}, {pid, "abc"}, {pid + " "}, {"- " + pid}, {""}, {"0x"},
  };
  for (const std::vector<std::string>& arguments : cases) {
    const RunResult run = RunVmtally(arguments);
    EXPECT_EQ(run.out, BannerLines() + kUsage) << testing::PrintToString(arguments);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
  }
}

TEST(OpenFailureTest, NoSuchProcess) {
  for (const char* pid : {"2147483647", "0", "-1", "$FFFFFFFE", "4194305"}) {
    const RunResult run = RunVmtally({pid, "65536"});
    EXPECT_EQ(run.out, BannerLines() + "No such process\r\n") << pid;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
  }
}

TEST(OpenFailureTest, AProcessTheUserMayNotRead) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root, to run vmtally as another user than the target's";
  }
  FixtureProcess target;
  const RunResult run = RunVmtally({std::to_string(target.pid)}, {.unprivileged = true});
  EXPECT_EQ(run.out, BannerLines() + "Permission denied\r\n");
  EXPECT_EQ(run.exitCode, 0);
}

TEST(OutputFailureTest, StandardOutputThatTakesNothing) {
  struct Case {
    Output output;
    std::string reason;
  };
  for (const Case& c : {Case{Output::kDevFull, "No space left on device"},
                        Case{Output::kClosed, "Bad file descriptor"},
                        Case{Output::kPipeWithoutReader, "Broken pipe"}}) {
    const RunResult run = RunVmtally({"1"}, {.output = c.output});
    EXPECT_EQ(run.exitCode, 1) << c.reason;
    EXPECT_EQ(run.err, "vmtally: cannot write to standard output: " + c.reason + "\n");
  }
}

// A file that may grow only so far fails every write past its limit: the lines before it
// stay, the usage line cannot follow, and the exit code is 1.
TEST(OutputFailureTest, OutputThatFillsUpMidReport) {
  FixtureProcess target;
  const std::string complete = BannerLines() + kFixtureTable;
  const std::size_t cut = BannerLines().size() + 3 * kTableLine;  // header, rule, Commit
  const RunResult run =
      RunVmtally({std::to_string(target.pid)}, {.output = Output::kFile, .fileLimit = cut + 10});
  EXPECT_EQ(run.out, complete.substr(0, cut + 10));  // a line cut off at the limit
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "vmtally: cannot write to standard output: File too large\n");
}

// One write failing in the middle of the report: the lines already out, then the usage line.
TEST_F(InjectedWriteFailureTest, OneFailedWriteMidReport) {
  FixtureProcess target;
  // Writes 1 and 2 are the banner and the empty line; 6 is the Reserve row.
  const RunResult run = RunWithFailingWrite({std::to_string(target.pid)}, 6, false);
  const std::string complete = BannerLines() + kFixtureTable;
  EXPECT_EQ(run.out, complete.substr(0, BannerLines().size() + 3 * kTableLine) + kUsage);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
}

// Every write of a survey failing in turn. Inside the survey the usage line takes the
// failure's place; the banner and the empty line after it, and a usage line that fails
// too, end the run with exit code 1 and a word on standard error.
TEST_F(InjectedWriteFailureTest, EachWriteFailingInTurn) {
  FixtureProcess target;
  const std::vector<std::string> arguments = {std::to_string(target.pid), "65536"};
  const std::vector<std::string> lines = Lines(RunVmtally(arguments).out);
  ASSERT_EQ(lines.size(), 13U);
  const std::string diagnostic = "vmtally: cannot write to standard output: Input/output error\n";
  for (int write = 1; write <= 13; ++write) {
    const auto before = static_cast<std::size_t>(write - 1);
    const RunResult once = RunWithFailingWrite(arguments, write, false);
    if (write <= 2) {
      EXPECT_EQ(once.exitCode, 1) << write;
      EXPECT_EQ(once.out, FirstLines(lines, before)) << write;
      EXPECT_EQ(once.err, diagnostic) << write;
    } else {
      EXPECT_EQ(once.exitCode, 0) << write;
      EXPECT_EQ(once.out, FirstLines(lines, before) + kUsage) << write;
      EXPECT_EQ(once.err, "") << write;
    }
    const RunResult always = RunWithFailingWrite(arguments, write, true);
    EXPECT_EQ(always.exitCode, 1) << write;
    EXPECT_EQ(always.out, FirstLines(lines, before)) << write;
    EXPECT_EQ(always.err, diagnostic) << write;
  }
}

TEST_F(InjectedWriteFailureTest, FailingUsageAndOpenFailureLines) {
  const RunResult usage = RunWithFailingWrite({}, 3, false);  // the wrong-count usage line
  EXPECT_EQ(usage.exitCode, 1);
  EXPECT_EQ(usage.out, BannerLines());
  EXPECT_NE(usage.err, "");

  const RunResult message = RunWithFailingWrite({"0"}, 3, false);  // "No such process"
  EXPECT_EQ(message.exitCode, 0);
  EXPECT_EQ(message.out, BannerLines() + kUsage);
}

// Targets that have no address space of their own any more, or never had one: the report
// says what the system said, one free region over the whole view.
TEST(MisbehavingTargetTest, AZombie) {
  const pid_t zombie = fork();
  if (zombie == 0) {
    _exit(0);
  }
  while (StatFields(zombie).empty() || StatFields(zombie)[0] != "Z") {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const RunResult run = RunVmtally({std::to_string(zombie)});
  waitpid(zombie, nullptr, 0);
  EXPECT_EQ(run.out, BannerLines() + kEmptyTable);
  EXPECT_EQ(run.exitCode, 0);
}

TEST(MisbehavingTargetTest, AKernelThread) {
  const pid_t thread = FindKernelThread();
  if (thread < 0) {
    GTEST_SKIP() << "no kernel thread is visible here";
  }
  const RunResult run = RunVmtally({std::to_string(thread)});
  EXPECT_EQ(run.out, BannerLines() + kEmptyTable);
  EXPECT_EQ(run.exitCode, 0);
}

// The target exits after vmtally has opened it and before it reads the mappings (strace
// holds the first read of the maps file back): a zombie has no mappings.
TEST_F(HeldReadTest, ATargetThatExitsDuringTheSurvey) {
  FixtureProcess target;
  std::thread ender([&target] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    target.Exit();
  });
  const RunResult run = RunWithDelayedRead({std::to_string(target.pid), "65536"}, target.pid, 1);
  ender.join();
  EXPECT_EQ(run.out, BannerLines() + kEmptyTable.substr(0, kEmptyTable.size() - 2) +
                         "\r\nFree block count > 65536: 1\r\n\r\n");
  EXPECT_EQ(run.exitCode, 0);
}

// The target is reaped while vmtally is inside its reading of the maps. The crowd target
// lays out more one-page mappings from 0x10000000 on than one read takes (the kernel
// gives a page of lines at a time); strace holds the second read back until the target
// is gone, so that a later one fails.
// What the target said before it died stands: every mapping of the complete lines read,
// and the free block below them. Past them every query fails, and those pages are
// counted nowhere.
TEST_F(HeldReadTest, ATargetReapedWhileItsMapsAreRead) {
  constexpr int kCrowd = 1000;
  FixtureProcess target({CROWD_PATH, std::to_string(kCrowd)});
  std::thread reaper([&target] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    target.Reap();
  });
  const RunResult run = RunWithDelayedRead({std::to_string(target.pid), "65536"}, target.pid, 2);
  reaper.join();
  ASSERT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.out.rfind(BannerLines() + kTableTop, 0), 0U) << run.out;
  std::istringstream table(run.out.substr((BannerLines() + kTableTop).size()));
  std::map<std::string, std::vector<std::int64_t>> rows;  // minimum, maximum, average, count, total
  for (std::string name; table >> name && rows.size() < 6;) {
    for (std::int64_t& n : rows[name] = std::vector<std::int64_t>(5)) {
      table >> n;
    }
  }
  const std::int64_t read = rows["Commit"][3];
  EXPECT_GT(read, 0) << "not one mapping, though the first read succeeded";
  EXPECT_LT(read, kCrowd) << "every mapping, though the reading failed";
  EXPECT_EQ(rows["Commit"], (std::vector<std::int64_t>{4096, 4096, 4096, read, read * 4096}));
  EXPECT_EQ(rows["Private"], rows["Commit"]);
  EXPECT_EQ(rows["Free"],
            (std::vector<std::int64_t>{0x10000000, 0x10000000, 0x10000000, 1, 0x10000000}));
  for (const char* empty : {"Reserve", "Mapped", "Image"}) {
    EXPECT_EQ(rows[empty], std::vector<std::int64_t>(5)) << empty;
  }
  EXPECT_TRUE(run.out.ends_with("\r\n\r\nFree block count > 65536: 1\r\n\r\n")) << run.out;
}

// Nothing the tool is given makes it abort, not even arguments larger than the memory it
// may have: under every address-space limit, from one too small to load it at all to one
// that lets it survey, it prints its banner and then the usage line or the report, or,
// when not even the banner goes out, ends with exit code 1 and a word why.
TEST(HostileInputTest, LargeArgumentsUnderAnAddressSpaceLimit) {
  if (VMTALLY_SANITIZED) {
    GTEST_SKIP() << "the sanitizers reserve more address space than the limits here allow";
  }
  FixtureProcess target;
  const std::string pid = std::to_string(target.pid);
  const std::string large = std::string(131000 - pid.size(), ' ') + pid;  // as long as may be
  const std::string report = kFixtureTable + "\r\nFree block count > 65536: 6\r\n\r\n";
  constexpr std::uint64_t kStep = 16 * 1024;
  int usageRuns = 0;
  int surveys = 0;
  for (std::uint64_t limit = 1024 * 1024; limit < 256 * 1024 * 1024 && surveys < 3;
       limit += kStep) {
    const RunResult run = RunVmtally({large, "65536"}, {.addressSpace = limit});
    const std::string at = "address space " + std::to_string(limit);
    ASSERT_NE(run.exitCode, -1) << at << ": killed by a signal\n" << run.err;
    if (run.exitCode == 127) {  // the dynamic loader could not set the program up
      EXPECT_EQ(run.out, "") << at;
      EXPECT_EQ(surveys + usageRuns, 0) << at << ": the loader failed with more room than before";
    } else if (run.exitCode == 1) {
      EXPECT_EQ(run.err.rfind("vmtally: ", 0), 0U) << at << ": " << run.err;
    } else {
      ASSERT_EQ(run.exitCode, 0) << at;
      EXPECT_EQ(run.err, "") << at;
      ASSERT_EQ(run.out.rfind(BannerLines(), 0), 0U) << at << ": " << run.out;
      const std::string rest = run.out.substr(BannerLines().size());
      if (rest == kUsage) {
        ++usageRuns;
      } else {
        ++surveys;
        EXPECT_EQ(rest, report) << at;
      }
    }
  }
  EXPECT_EQ(surveys, 3) << "no limit up to 256 MiB let the survey run";
  EXPECT_GT(usageRuns, 0) << "no limit ran out of memory inside the survey";
}

}  // namespace
}  // namespace vmtally::e2e
