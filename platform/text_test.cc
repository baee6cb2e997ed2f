#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace vmtally {
namespace {

TEST(TrimMessageEndTest, TrimsOnlyTheEnd) {
  EXPECT_EQ(TrimMessageEnd(" a.b \r\n"), " a.b");
  EXPECT_EQ(TrimMessageEnd("\x7f"), "\x7f");  // DEL is above the blank
  EXPECT_EQ(TrimMessageEnd("...."), "");
}

TEST(WithLineEndTest, JoinsWhatFitsAndNothingElse) {
  std::array<char, 8> buffer{};
  EXPECT_EQ(WithLineEnd("", buffer), "\r\n");
  EXPECT_EQ(WithLineEnd("123456", buffer), "123456\r\n");
  EXPECT_EQ(WithLineEnd("1234567", buffer), "");
  EXPECT_EQ(WithLineEnd(std::string(1000, 'x'), buffer), "");
}

}  // namespace
}  // namespace vmtally
