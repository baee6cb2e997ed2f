#include "app/command_line.h"

#include <gtest/gtest.h>

namespace vmtally {
namespace {

struct NumberCase {
  std::string_view text;
  std::optional<std::int32_t> value;
};

class ParseIntegerTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ParseIntegerTest, AcceptsExactlyTheNumberGrammar) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(ParseInteger(c.text), c.value) << "text: [" << c.text << "]";
}

constexpr std::optional<std::int32_t> kFails = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Decimal, ParseIntegerTest,
    testing::Values(NumberCase{"0", 0}, NumberCase{"1234", 1234},
                    NumberCase{"007", 7},  // a leading 0 is not octal
                    NumberCase{"-5", -5}, NumberCase{"+5", 5}, NumberCase{"2147483647", 2147483647},
                    NumberCase{"-2147483648", INT32_MIN},
                    NumberCase{"0000000002147483647", 2147483647}, NumberCase{"2147483648", kFails},
                    NumberCase{"-2147483649", kFails}, NumberCase{"2147483650", kFails},
                    NumberCase{"99999999999", kFails}, NumberCase{"-0", 0}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ParseIntegerTest,
    testing::Values(NumberCase{"x4D2", 1234}, NumberCase{"X4d2", 1234}, NumberCase{"0x4d2", 1234},
                    NumberCase{"0X4D2", 1234}, NumberCase{"$4D2", 1234}, NumberCase{"$FF", 255},
                    NumberCase{"$FFFFFFFF", -1}, NumberCase{"$7FFFFFFF", INT32_MAX},
                    NumberCase{"$80000000", INT32_MIN}, NumberCase{"-$FFFFFFFF", 1},
                    NumberCase{"-$80000000", INT32_MIN}, NumberCase{"-x10", -16},
                    NumberCase{"+0x10", 16}, NumberCase{"$000000000001", 1},  // zeros are free
                    NumberCase{"$100000000", kFails},  // a ninth significant digit
                    NumberCase{"$fffffffff", kFails}, NumberCase{"$", kFails},
                    NumberCase{"0x", kFails}, NumberCase{"x", kFails}, NumberCase{"$G", kFails},
                    NumberCase{"00x10", kFails}, NumberCase{"0x$10", kFails},
                    NumberCase{"$$10", kFails}, NumberCase{"0xx10", kFails}));

INSTANTIATE_TEST_SUITE_P(Blanks, ParseIntegerTest,
                         testing::Values(NumberCase{" 1234", 1234}, NumberCase{"    -7", -7},
                                         NumberCase{"  $10", 16}, NumberCase{"1234 ", kFails},
                                         NumberCase{"- 5", kFails},
                                         NumberCase{"\t5", kFails},  // only the blank is skipped
                                         NumberCase{"", kFails}, NumberCase{"   ", kFails}));

INSTANTIATE_TEST_SUITE_P(Rejected, ParseIntegerTest,
                         testing::Values(NumberCase{"abc", kFails}, NumberCase{"-", kFails},
                                         NumberCase{"+", kFails}, NumberCase{"--5", kFails},
                                         NumberCase{"+-5", kFails}, NumberCase{"5-", kFails},
                                         NumberCase{"12a", kFails}, NumberCase{"1.5", kFails},
                                         NumberCase{"1e3", kFails},
                                         NumberCase{std::string_view("12\0"
                                                                     "3",
                                                                     4),
                                                    kFails},
                                         NumberCase{"\xB9", kFails}, NumberCase{"-$", kFails}));

struct SplitCase {
  std::string_view name;
  std::string_view commandLine;
  std::vector<std::string> arguments;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsAsTheRulesSay) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitCommandLine(c.commandLine), c.arguments) << c.name;
  EXPECT_EQ(CountArguments(c.commandLine), c.arguments.size()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    testing::Values(SplitCase{"empty", "", {}}, SplitCase{"program only", "vmtally.exe", {}},
                    SplitCase{"one", "vmtally.exe 1234", {"1234"}},
                    SplitCase{"two", "vmtally.exe 1234 65536", {"1234", "65536"}},
                    SplitCase{"three", "vmtally.exe 1 2 3", {"1", "2", "3"}},
                    SplitCase{"control characters separate",
                              "p\t1\r\n2\x01"
                              "3\x1f",
                              {"1", "2", "3"}},
                    SplitCase{"high characters belong", "p \xE9\xFF", {"\xE9\xFF"}},
                    SplitCase{"free-standing quote pair", "p 5 \"\" 6", {"5", "6"}},
                    SplitCase{"quote pairs before an argument", "p \"\"\"\"5", {"5"}},
                    SplitCase{"leading blank inside quotes", "p \" 1234\"", {" 1234"}},
                    SplitCase{"trailing blank inside quotes", "p \"1234 \"", {"1234 "}},
                    SplitCase{"quotes inside an argument", "p 12\"3 4\"5", {"123 45"}},
                    SplitCase{"empty quotes inside an argument", "p 12\"\"34", {"1234"}},
                    SplitCase{"unterminated quote", "p \"1 2", {"1 2"}},
                    SplitCase{"lone quote at the end", "p 1 \"", {"1"}},
                    SplitCase{"an open quote takes trailing blanks", "p 1 \"  ", {"1", "  "}},
                    SplitCase{"trailing quote pair", "p 1 \"\"", {"1"}},
                    SplitCase{"quoted program path", "\"C:\\Program Files\\vmtally.exe\" 7", {"7"}},
                    SplitCase{"quote pair before the program", "\"\"p 7", {"7"}},
                    SplitCase{"blanks before the program", "   p 7", {"7"}},
                    SplitCase{"NUL ends the text", std::string_view("p 1\0 2", 6), {"1"}},
                    SplitCase{"empty program path", "\"", {}}));

}  // namespace
}  // namespace vmtally
