// The built vmtally against real processes: the fixture target, processes that do not
// exist or may not be read, and standard output that fails.
#include <unistd.h>

#include <gtest/gtest.h>

#include "process.h"

namespace vmtally::e2e {
namespace {

const std::string kUsage = "usage - vmtally [process id]\r\n";

const std::string kFixtureTable =
    "Type             Minimum     Maximum     Average     Blk count   Total      \r\n"
    "---------------- ----------- ----------- ----------- ----------- -----------\r\n"
    "Commit           8192        131072      58026       6           348160     \r\n"
    "Reserve          4096        262144      133120      2           266240     \r\n"
    "Free             4096        1876754432  306686244   7           2146803712 \r\n"
    "Private          65536       262144      131072      3           393216     \r\n"
    "Mapped           65536       131072      98304       2           196608     \r\n"
    "Image            4096        12288       8192        3           24576      \r\n";

RunOptions WritingTo(Output output, std::uint64_t fileLimit = 0) {
  RunOptions options;
  options.output = output;
  options.fileLimit = fileLimit;
  return options;
}

RunOptions AsNobody() {
  RunOptions options;
  options.unprivileged = true;
  return options;
}

RunOptions Under(std::vector<std::string> wrapper) {
  RunOptions options;
  options.wrapper = std::move(wrapper);
  return options;
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
  const RunResult run = RunVmtally({std::to_string(target.pid)}, AsNobody());
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
    const RunResult run = RunVmtally({"1"}, WritingTo(c.output));
    EXPECT_EQ(run.exitCode, 1) << c.reason;
    EXPECT_EQ(run.err, "vmtally: cannot write to standard output: " + c.reason + "\n");
  }
}

// A file that may grow only so far fails every write past its limit: the lines before it
// stay, the usage line cannot follow, and the exit code is 1.
TEST(OutputFailureTest, OutputThatFillsUpMidReport) {
  FixtureProcess target;
  const std::string complete = BannerLines() + kFixtureTable;
  const std::size_t cut = BannerLines().size() + 3 * 78;  // header, rule, Commit
  const RunResult run =
      RunVmtally({std::to_string(target.pid)}, WritingTo(Output::kLimitedFile, cut + 10));
  EXPECT_EQ(run.out, complete.substr(0, cut + 10));  // a line cut off at the limit
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "vmtally: cannot write to standard output: File too large\n");
}

// One write failing in the middle of the report: the lines already out, then the usage line.
TEST(OutputFailureTest, OneFailedWriteMidReport) {
  if (!HaveProgram("strace")) {
    GTEST_SKIP() << "needs strace";
  }
  FixtureProcess target;
  // Writes 1 and 2 are the banner and the empty line; 6 is the Reserve row.
  const RunResult run = RunVmtally({std::to_string(target.pid)},
                                   Under({"strace", "-qq", "-o", "/dev/null", "-e", "trace=write",
                                          "-e", "inject=write:error=EIO:when=6"}));
  const std::string complete = BannerLines() + kFixtureTable;
  EXPECT_EQ(run.out, complete.substr(0, BannerLines().size() + 3 * 78) + kUsage);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace vmtally::e2e
