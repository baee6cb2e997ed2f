#include "app/entry.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vmtally {
namespace {

using Lines = std::vector<std::string>;

class RunToolTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    Fake().regions = {{0, 0x7FFF0000, MEM_FREE, 0}};
  }
  static std::string Banner() { return Fake().lines.at(0); }
};

TEST_F(RunToolTest, BannerNamesTheToolAndItsMakers) {
  EXPECT_EQ(RunTool({}), 0U);
  EXPECT_EQ(Banner().rfind("vmtally ", 0), 0U);
  EXPECT_NE(Banner().find("the vmtally authors"), std::string::npos);
}

// Arguments that never reach the survey: the banner, an empty line, the usage line.
TEST_F(RunToolTest, UsageRuns) {
  const std::vector<Lines> cases = {
      {},  {"1", "2", "3"}, {"abc"}, {"1234 "}, {"1234", "abc"}, {"abc", "65536"}, {"2147483648"},
      {""}};
  for (const Lines& arguments : cases) {
    ResetFake();
    EXPECT_EQ(RunTool(arguments), 0U);
    EXPECT_EQ(Fake().lines, (Lines{Banner(), "", std::string(kUsageLine)}))
        << testing::PrintToString(arguments);
    EXPECT_EQ(Fake().openedAccess, 0U) << "no survey for " << testing::PrintToString(arguments);
  }
}

TEST_F(RunToolTest, ProcessIdIsPassedOnBitForBit) {
  for (const char* id : {"-1", "$FFFFFFFF", "0xffffffff"}) {
    ResetFake();
    Fake().openFails = true;
    RunTool({id});
    EXPECT_EQ(Fake().openedProcessId, 0xFFFFFFFFu) << id;
  }
  for (const char* id : {" 1234", "x4D2", "0x4d2", "$4D2", "+1234"}) {
    ResetFake();
    Fake().openFails = true;
    RunTool({id});
    EXPECT_EQ(Fake().openedProcessId, 1234U) << id;
  }
}

TEST_F(RunToolTest, ThresholdLineOnlyAboveZero) {
  EXPECT_EQ(RunTool({"7", "65536"}), 0U);
  ASSERT_EQ(Fake().lines.size(), 13U);
  EXPECT_EQ(Fake().lines[11], "Free block count > 65536: 1");
  EXPECT_EQ(Fake().lines[12], "");

  for (const char* threshold : {"-5", "0", "$0"}) {
    ResetFake();
    Fake().regions = {{0, 0x7FFF0000, MEM_FREE, 0}};
    EXPECT_EQ(RunTool({"7", threshold}), 0U);
    ASSERT_EQ(Fake().lines.size(), 11U) << threshold;
    EXPECT_EQ(Fake().lines[9].substr(0, 5), "Image");
    EXPECT_EQ(Fake().lines[10], "");
  }
}

TEST_F(RunToolTest, OpenFailureIsOneLineAndExitCodeZero) {
  Fake().openFails = true;
  Fake().messageText = "No such process";
  EXPECT_EQ(RunTool({"99999", "65536"}), 0U);
  EXPECT_EQ(Fake().lines, (Lines{Banner(), "", "No such process"}));
}

// Standard output failing inside the survey: the lines already out stay, then the usage
// line. When even that cannot be written the exit code is 1, with a word on stderr.
TEST_F(RunToolTest, OutputFailures) {
  struct Case {
    std::size_t failFrom, failTo;
    std::uint32_t exitCode;
    std::size_t linesOut;
    bool usageLast;
  };
  const std::vector<Case> cases = {
      {5, 6, 0, 5, true},          // a report row fails: usage line after the first rows
      {12, 13, 0, 12, true},       // the threshold line
      {5, SIZE_MAX, 1, 5, false},  // the row and the usage line
      {0, 1, 1, 0, false},         // the banner
      {1, 2, 1, 1, false},         // the empty line after it
  };
  for (const Case& c : cases) {
    ResetFake();
    Fake().regions = {{0, 0x7FFF0000, MEM_FREE, 0}};
    Fake().failWritesFrom = c.failFrom;
    Fake().failWritesTo = c.failTo;
    EXPECT_EQ(RunTool({"7", "65536"}), c.exitCode) << c.failFrom;
    ASSERT_EQ(Fake().lines.size(), c.linesOut + (c.usageLast ? 1 : 0)) << c.failFrom;
    if (c.usageLast) {
      EXPECT_EQ(Fake().lines.back(), kUsageLine);
      EXPECT_TRUE(Fake().diagnostics.empty());
    } else {
      ASSERT_EQ(Fake().diagnostics.size(), 1U);
      EXPECT_NE(Fake().diagnostics[0].find("standard output"), std::string::npos);
    }
  }
}

TEST_F(RunToolTest, TheUsageLineForAWrongCountCanFailToo) {
  Fake().failWritesFrom = 2;
  EXPECT_EQ(RunTool({}), 1U);
  EXPECT_EQ(Fake().lines.size(), 2U);
  EXPECT_EQ(Fake().diagnostics.size(), 1U);
}

}  // namespace
}  // namespace vmtally
