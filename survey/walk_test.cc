#include "survey/walk.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fake_platform.h"

namespace vmtally {
namespace {

class SurveyProcessTest : public FakeSystemTest {
 protected:
  // The six category rows of the report, as numbers: min, max, average, count, total.
  static std::vector<std::int64_t> RowNumbers(std::size_t row) {
    std::vector<std::int64_t> numbers;
    std::istringstream cells(Fake().lines.at(2 + row).substr(16));
    for (std::int64_t n = 0; cells >> n;) {
      numbers.push_back(n);
    }
    return numbers;
  }
};

// The end of the user address space the scripted system describes.
const std::uint32_t kEnd = FakeSystem{}.info.lpMaximumApplicationAddress + 1;

TEST_F(SurveyProcessTest, OpensForQueryOnlyAndWalksEveryRegionOnce) {
  Fake().regions = {
      {0x00000000, 0x00010000, MEM_FREE, 0},
      {0x00010000, 0x00002000, MEM_COMMIT, MEM_PRIVATE},
      {0x00012000, 0x0000E000, MEM_RESERVE, MEM_PRIVATE},
      {0x00020000, 0x00001000, MEM_COMMIT, MEM_IMAGE},
      {0x00021000, 0x00003000, MEM_COMMIT, MEM_MAPPED},
      {0x00024000, kEnd - 0x24000, MEM_FREE, 0},
  };
  SurveyProcess(0xFFFFFFFF, 0);

  EXPECT_EQ(Fake().openedProcessId, 0xFFFFFFFFu);
  EXPECT_EQ(Fake().openedAccess, 0x0400u);
  EXPECT_FALSE(Fake().openedInheritable);
  EXPECT_EQ(Fake().queries,
            (std::vector<std::uint32_t>{0x0, 0x10000, 0x12000, 0x20000, 0x21000, 0x24000}));
  EXPECT_EQ(Fake().queryLength, 28U);
  EXPECT_EQ(Fake().closes, 1);
  EXPECT_EQ(Fake().linesWhenClosed, 0U);  // closed before the table
  EXPECT_EQ(Fake().openHandles, 0);

  ASSERT_EQ(Fake().lines.size(), 9U);
  EXPECT_EQ(RowNumbers(0), (std::vector<std::int64_t>{4096, 12288, 8192, 3, 0x6000}));
  EXPECT_EQ(RowNumbers(1), (std::vector<std::int64_t>{0xE000, 0xE000, 0xE000, 1, 0xE000}));
  EXPECT_EQ(RowNumbers(2)[3], 2);
  // Committed, reserved and free regions together span the whole walk.
  EXPECT_EQ(RowNumbers(0)[4] + RowNumbers(1)[4] + RowNumbers(2)[4], std::int64_t{kEnd});
  EXPECT_EQ(RowNumbers(3), (std::vector<std::int64_t>{8192, 0xE000, 0x8000, 2, 0x10000}));
  EXPECT_EQ(RowNumbers(4), (std::vector<std::int64_t>{0x3000, 0x3000, 0x3000, 1, 0x3000}));
  EXPECT_EQ(RowNumbers(5), (std::vector<std::int64_t>{4096, 4096, 4096, 1, 4096}));
}

TEST_F(SurveyProcessTest, FailedQueriesStepOnePageAndCountNowhere) {
  Fake().regions = {{0, 0x10000, MEM_FREE, 0}, {0x10000, kEnd - 0x10000, MEM_COMMIT, MEM_PRIVATE}};
  Fake().failQueriesFrom = 0x10000;
  Fake().failQueriesTo = 0x14000;
  SurveyProcess(1, 0);
  EXPECT_EQ(Fake().queries,
            (std::vector<std::uint32_t>{0x0, 0x10000, 0x11000, 0x12000, 0x13000, 0x14000}));
  EXPECT_EQ(RowNumbers(0), (std::vector<std::int64_t>{kEnd - 0x14000, kEnd - 0x14000,
                                                      kEnd - 0x14000, 1, kEnd - 0x14000}));
  EXPECT_EQ(RowNumbers(2)[4], 0x10000);
}

TEST_F(SurveyProcessTest, ARegionReachingPastTheEndIsCountedWhole) {
  Fake().regions = {{0, 0x7FFE0000, MEM_FREE, 0},
                    {0x7FFE0000, 0x00100000, MEM_RESERVE, MEM_MAPPED}};
  SurveyProcess(1, 0);
  EXPECT_EQ(Fake().queries.size(), 2U);
  EXPECT_EQ(RowNumbers(1)[4], 0x100000);
  EXPECT_EQ(RowNumbers(4)[4], 0x100000);
}

TEST_F(SurveyProcessTest, NothingAnsweredMeansAnEmptyReportAfterAPageByPageWalk) {
  Fake().info.lpMaximumApplicationAddress = 0x00100000 - 1;
  SurveyProcess(1, 4096);
  EXPECT_EQ(Fake().queries.size(), 0x100U);
  ASSERT_EQ(Fake().lines.size(), 11U);
  EXPECT_EQ(Fake().lines[9], "Free block count > 4096: 0");
}

// A system that describes the top of a full 4 GiB space must not send the walk round
// again from address 0.
TEST_F(SurveyProcessTest, TheWalkEndsAtTheTopOfTheAddressSpace) {
  Fake().info.lpMaximumApplicationAddress = 0xFFFFFFFF;
  Fake().regions = {{0, 0x1000, MEM_COMMIT, MEM_PRIVATE}, {0x1000, 0xFFFFF000, MEM_FREE, 0}};
  SurveyProcess(1, 0);
  EXPECT_EQ(Fake().queries, (std::vector<std::uint32_t>{0, 0x1000}));
  EXPECT_EQ(RowNumbers(2)[4], static_cast<std::int32_t>(0xFFFFF000u));
  EXPECT_EQ(Fake().closes, 1);
}

// Nor may an answer of no size hold the walk in place: it counts as a failed query.
TEST_F(SurveyProcessTest, AnAnswerOfNoSizeIsAFailedQuery) {
  Fake().regions = {{0, 0x1000, MEM_COMMIT, MEM_PRIVATE},
                    {0x1000, 0, MEM_COMMIT, MEM_IMAGE},
                    {0x2000, kEnd - 0x2000, MEM_FREE, 0}};
  SurveyProcess(1, 0);
  EXPECT_EQ(Fake().queries, (std::vector<std::uint32_t>{0, 0x1000, 0x2000}));
  EXPECT_EQ(RowNumbers(0)[3], 1);
  EXPECT_EQ(RowNumbers(5)[3], 0);
}

TEST_F(SurveyProcessTest, NoPageSizeEndsTheWalkAtTheFirstFailedQuery) {
  Fake().info.dwPageSize = 0;
  Fake().regions = {{0, 0x1000, MEM_COMMIT, MEM_PRIVATE}};
  SurveyProcess(1, 0);
  EXPECT_EQ(Fake().queries, (std::vector<std::uint32_t>{0, 0x1000}));
  EXPECT_EQ(Fake().closes, 1);
  EXPECT_EQ(RowNumbers(0)[3], 1);
}

struct MessageCase {
  std::string_view system;
  std::string_view printed;
};

class OpenFailureTest : public FakeSystemTestWithParam<MessageCase> {};

TEST_P(OpenFailureTest, PrintsTheSystemTextTrimmedAtTheEndAndNothingElse) {
  Fake().openFails = true;
  Fake().openError = 87;
  Fake().messageText = GetParam().system;
  SurveyProcess(0, 65536);
  EXPECT_EQ(Fake().lines, std::vector<std::string>{std::string(GetParam().printed)});
  EXPECT_EQ(Fake().messageId, 87U);
  EXPECT_EQ(Fake().messageFlags, 0x3200U);
  EXPECT_EQ(Fake().messageLanguage, 0U);
  EXPECT_EQ(Fake().messageBufferSize, 256U);
  EXPECT_TRUE(Fake().queries.empty());
  EXPECT_EQ(Fake().closes, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OpenFailureTest,
    testing::Values(MessageCase{"The parameter is incorrect.\r\n", "The parameter is incorrect"},
                    MessageCase{"No such process", "No such process"},
                    MessageCase{"Gone... \r\n\t..", "Gone"},
                    MessageCase{"Line one.\r\nLine two.\r\n", "Line one.\r\nLine two"},
                    MessageCase{" \x01\x1f ", ""}, MessageCase{"", ""},
                    MessageCase{"\xC4nderung \xFC.", "\xC4nderung \xFC"}));

TEST_F(SurveyProcessTest, AnOpenFailureTextLongerThanTheBufferIsNoText) {
  Fake().openFails = true;
  Fake().messageLengthTooLarge = true;
  SurveyProcess(0, 0);
  EXPECT_EQ(Fake().lines, std::vector<std::string>{""});
}

}  // namespace
}  // namespace vmtally
