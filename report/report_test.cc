#include "report/report.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "texts.h"

namespace vmtally {
namespace {

using Lines = std::vector<std::string>;
using texts::kHeader;
using texts::kRule;

std::string Row(std::string label, std::int64_t min, std::int64_t max, std::int64_t avg,
                std::int64_t count, std::int64_t total) {
  std::string line = PadRight(label, 16);
  for (std::int64_t n : {min, max, avg, count, total}) {
    line += ' ';
    line += PadRight(std::to_string(n), 11);
  }
  return line;
}

class ReportTest : public FakeSystemTest {};

TEST(PadRightTest, PadsButNeverCuts) {
  EXPECT_EQ(PadRight("Free", 8), "Free    ");
  EXPECT_EQ(PadRight("", 3), "   ");
  EXPECT_EQ(PadRight("exactly", 7), "exactly");
  EXPECT_EQ(PadRight("longer text", 4), "longer text");
}

TEST(DecimalTextTest, PlainSignedDecimal) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(1048576), "1048576");
  EXPECT_EQ(DecimalText(-2147483648LL), "-2147483648");
  EXPECT_EQ(DecimalText(2147483647), "2147483647");
}

TEST_F(ReportTest, EmptyTotalsWithoutThreshold) {
  WriteReport(SurveyTotals{}, 0);
  const std::string zeros = "0           0           0           0           0          ";
  EXPECT_EQ(Fake().lines,
            (Lines{kHeader, kRule, "Commit           " + zeros, "Reserve          " + zeros,
                   "Free             " + zeros, "Private          " + zeros,
                   "Mapped           " + zeros, "Image            " + zeros, ""}));
}

TEST_F(ReportTest, RowsInOrderWithTheirOwnAverages) {
  SurveyTotals totals;
  totals.commitStats = {2, 8192, 4096, 4096};
  totals.reserveStats = {3, 400, 100, 200};
  totals.freeStats = {1, 2147418112, 2147418112, 2147418112};
  totals.privateStats = {1, INT32_MIN, INT32_MIN, INT32_MIN};  // wrapped: average 0
  totals.mappedStats = {7, 70, 10, 10};
  totals.imageStats = {0, 0, 0, 0};
  WriteReport(totals, -5);
  const Lines expected = {
      kHeader,
      kRule,
      "Commit           4096        4096        4096        2           8192       ",
      Row("Reserve", 100, 200, 133, 3, 400),
      Row("Free", 2147418112, 2147418112, 2147418112, 1, 2147418112),
      "Private          -2147483648 -2147483648 0           1           -2147483648",
      Row("Mapped", 10, 10, 10, 7, 70),
      Row("Image", 0, 0, 0, 0, 0),
      ""};
  EXPECT_EQ(Fake().lines, expected);
  for (std::size_t i = 0; i + 1 < Fake().lines.size(); ++i) {
    EXPECT_EQ(Fake().lines[i].size(), texts::kTableWidth) << Fake().lines[i];
  }
}

TEST_F(ReportTest, ThresholdLineBetweenEmptyLines) {
  SurveyTotals totals;
  totals.largeFreeCount = 2;
  WriteReport(totals, 65536);
  const Lines& lines = Fake().lines;
  ASSERT_EQ(lines.size(), 11U);
  EXPECT_EQ(lines[7].substr(0, 5), "Image");
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9], "Free block count > 65536: 2");
  EXPECT_EQ(lines[10], "");
}

TEST_F(ReportTest, ThresholdLineWithNoQualifyingBlock) {
  WriteReport(SurveyTotals{}, 1);
  ASSERT_EQ(Fake().lines.size(), 11U);
  EXPECT_EQ(Fake().lines[9], "Free block count > 1: 0");
}

TEST_F(ReportTest, StopsAtTheFirstFailedWrite) {
  Fake().failWritesFrom = 4;
  EXPECT_THROW(WriteReport(SurveyTotals{}, 65536), OutputError);
  EXPECT_EQ(Fake().lines.size(), 4U);
  EXPECT_EQ(Fake().writes, 5U);  // nothing is tried after the failure
}

}  // namespace
}  // namespace vmtally
