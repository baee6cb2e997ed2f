#include "app/entry.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "texts.h"

namespace vmtally {
namespace {

using Lines = std::vector<std::string>;
using texts::kBanner;
using texts::kUsage;

// The run with these arguments, over an address space that is one free region.
std::uint32_t RunWith(Lines arguments) {
  Fake().arguments = std::move(arguments);
  Fake().regions = {{0, 0x7FFF0000, MEM_FREE, 0}};
  return RunTool();
}

class RunToolTest : public FakeSystemTest {};

TEST_F(RunToolTest, BannerNamesTheToolAndItsMakers) {
  EXPECT_EQ(RunWith({}), 0U);
  EXPECT_EQ(Fake().lines.at(0).rfind("vmtally ", 0), 0U);
  EXPECT_NE(Fake().lines.at(0).find("the vmtally authors"), std::string::npos);
}

// Arguments that never reach the survey: the banner, an empty line, the usage line.
class UsageRunTest : public FakeSystemTestWithParam<Lines> {};

TEST_P(UsageRunTest, NeverSurveys) {
  EXPECT_EQ(RunWith(GetParam()), 0U);
  EXPECT_EQ(Fake().lines, (Lines{kBanner, "", kUsage}));
  EXPECT_EQ(Fake().openedAccess, 0U);
}

INSTANTIATE_TEST_SUITE_P(Arguments, UsageRunTest,
                         testing::Values(Lines{}, Lines{"1", "2", "3"}, Lines{"abc"},
                                         Lines{"1234 "}, Lines{"1234", "abc"},
                                         Lines{"abc", "65536"}, Lines{"2147483648"}, Lines{""}));

struct ProcessIdCase {
  std::string text;
  std::uint32_t processId;
};

class ProcessIdTest : public FakeSystemTestWithParam<ProcessIdCase> {};

TEST_P(ProcessIdTest, IsPassedOnBitForBit) {
  Fake().openFails = true;
  RunWith({GetParam().text});
  EXPECT_EQ(Fake().openedProcessId, GetParam().processId);
}

INSTANTIATE_TEST_SUITE_P(Texts, ProcessIdTest,
                         testing::Values(ProcessIdCase{"-1", 0xFFFFFFFF},
                                         ProcessIdCase{"$FFFFFFFF", 0xFFFFFFFF},
                                         ProcessIdCase{"0xffffffff", 0xFFFFFFFF},
                                         ProcessIdCase{" 1234", 1234}, ProcessIdCase{"x4D2", 1234},
                                         ProcessIdCase{"0x4d2", 1234}, ProcessIdCase{"$4D2", 1234},
                                         ProcessIdCase{"+1234", 1234}));

TEST_F(RunToolTest, ThresholdLineAboveZero) {
  EXPECT_EQ(RunWith({"7", "65536"}), 0U);
  ASSERT_EQ(Fake().lines.size(), 13U);
  EXPECT_EQ(Fake().lines[11], "Free block count > 65536: 1");
  EXPECT_EQ(Fake().lines[12], "");
}

class NoThresholdTest : public FakeSystemTestWithParam<std::string> {};

TEST_P(NoThresholdTest, EndsWithTheImageRowAndOneEmptyLine) {
  EXPECT_EQ(RunWith({"7", GetParam()}), 0U);
  ASSERT_EQ(Fake().lines.size(), 11U);
  EXPECT_EQ(Fake().lines[9].substr(0, 5), "Image");
  EXPECT_EQ(Fake().lines[10], "");
}

INSTANTIATE_TEST_SUITE_P(Thresholds, NoThresholdTest, testing::Values("-5", "0", "$0"));

TEST_F(RunToolTest, OpenFailureIsOneLineAndExitCodeZero) {
  Fake().openFails = true;
  Fake().messageText = "No such process";
  EXPECT_EQ(RunWith({"99999", "65536"}), 0U);
  EXPECT_EQ(Fake().lines, (Lines{kBanner, "", "No such process"}));
}

// Standard output failing inside the survey: the lines already out stay, then the usage
// line. When even that cannot be written the exit code is 1, with a word on stderr.
struct OutputFailureCase {
  std::size_t failFrom, failTo;
  std::uint32_t exitCode;
  std::size_t linesOut;
  bool usageLast;
};

class OutputFailureTest : public FakeSystemTestWithParam<OutputFailureCase> {};

TEST_P(OutputFailureTest, UsageLineOrExitCodeOne) {
  const OutputFailureCase& c = GetParam();
  Fake().failWritesFrom = c.failFrom;
  Fake().failWritesTo = c.failTo;
  EXPECT_EQ(RunWith({"7", "65536"}), c.exitCode);
  ASSERT_EQ(Fake().lines.size(), c.linesOut + (c.usageLast ? 1 : 0));
  if (c.usageLast) {
    EXPECT_EQ(Fake().lines.back(), kUsage);
    EXPECT_TRUE(Fake().diagnostics.empty());
  } else {
    ASSERT_EQ(Fake().diagnostics.size(), 1U);
    EXPECT_NE(Fake().diagnostics[0].find("standard output"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, OutputFailureTest,
    testing::Values(OutputFailureCase{5, 6, 0, 5, true},  // a report row: usage line after the rows
                    OutputFailureCase{12, 13, 0, 12, true},       // the threshold line
                    OutputFailureCase{5, SIZE_MAX, 1, 5, false},  // the row and the usage line
                    OutputFailureCase{0, 1, 1, 0, false},         // the banner
                    OutputFailureCase{1, 2, 1, 1, false}));       // the empty line after it

TEST_F(RunToolTest, TheUsageLineForAWrongCountCanFailToo) {
  Fake().failWritesFrom = 2;
  EXPECT_EQ(RunWith({}), 1U);
  EXPECT_EQ(Fake().lines.size(), 2U);
  EXPECT_EQ(Fake().diagnostics.size(), 1U);
}

// The arguments are read only inside the guard: an argument that cannot be read is a
// failure like any other there, and becomes the usage line.
TEST_F(RunToolTest, AnArgumentThatCannotBeReadBecomesTheUsageLine) {
  Fake().argumentFails = true;
  EXPECT_EQ(RunWith({"7", "65536"}), 0U);
  EXPECT_EQ(Fake().lines, (Lines{kBanner, "", kUsage}));
  EXPECT_EQ(Fake().openedAccess, 0U);
}

// With memory too short even for an exception, the C++ runtime gives up through
// std::terminate; the run still ends as any failure would, without an abort.
struct GiveUpCase {
  std::string name;
  bool argumentFails;
  std::size_t failWritesFrom;
  int exitCode;
};

class RuntimeGivesUpDeathTest : public FakeSystemTestWithParam<GiveUpCase> {};

TEST_P(RuntimeGivesUpDeathTest, EndsAsAnyFailureWould) {
  const GiveUpCase& c = GetParam();
  EXPECT_EXIT(
      {
        Fake().runtimeGivesUp = true;
        Fake().argumentFails = c.argumentFails;
        Fake().failWritesFrom = c.failWritesFrom;
        RunWith({"7"});
      },
      testing::ExitedWithCode(c.exitCode), "")
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RuntimeGivesUpDeathTest,
                         testing::Values(GiveUpCase{"reading an argument: the usage line", true,
                                                    SIZE_MAX, 0},
                                         GiveUpCase{"and the usage line fails too", true, 2, 1},
                                         GiveUpCase{"writing the banner", false, 0, 1}));

}  // namespace
}  // namespace vmtally
