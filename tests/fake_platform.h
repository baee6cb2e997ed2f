// A scripted system for unit tests: it answers the platform calls from the fields
// below and records how it was called. Tests derive from FakeSystemTest, which gives
// each of them a fresh one.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vmtally {

struct FakeRegion {
  std::uint32_t base = 0;
  std::uint32_t size = 0;
  std::uint32_t state = 0;
  std::uint32_t type = 0;
};

struct FakeSystem {
  // What the system answers.
  std::vector<std::string> arguments;  // after the program path
  bool argumentFails = false;          // Argument throws, as when memory runs out
  bool runtimeGivesUp = false;         // what would throw calls std::terminate instead
  bool openFails = false;
  std::uint32_t openError = 0;
  std::string messageText;  // FormatMessageA's text for any code
  bool messageLengthTooLarge = false;
  SYSTEM_INFO info{4096, 0x10000, 0x7FFEFFFF};
  std::vector<FakeRegion> regions;  // a query inside none of them fails
  std::uint32_t failQueriesFrom = 0;
  std::uint32_t failQueriesTo = 0;  // queries in [from, to) fail
  std::size_t failWritesFrom = SIZE_MAX;
  std::size_t failWritesTo = SIZE_MAX;  // writes numbered [from, to) fail, counting from 0

  // What was asked of it.
  std::uint32_t openedProcessId = 0;
  std::uint32_t openedAccess = 0;
  bool openedInheritable = true;
  std::uint32_t messageFlags = 0;
  std::uint32_t messageId = 0;
  std::uint32_t messageLanguage = 0xFFFFFFFF;
  std::uint32_t messageBufferSize = 0;
  std::vector<std::uint32_t> queries;
  std::uint32_t queryLength = 0;
  int openHandles = 0;
  int closes = 0;
  std::size_t linesWhenClosed = SIZE_MAX;
  std::size_t writes = 0;
  std::vector<std::string> lines;  // the lines that were written
  std::vector<std::string> diagnostics;
};

// The one scripted system.
FakeSystem& Fake();

// The base of every test that uses the scripted system: each starts with a fresh one.
template <typename Base = testing::Test>
class WithFakeSystem : public Base {
 protected:
  void SetUp() override { Fake() = FakeSystem{}; }
};
using FakeSystemTest = WithFakeSystem<>;
template <typename Param>
using FakeSystemTestWithParam = WithFakeSystem<testing::TestWithParam<Param>>;

}  // namespace vmtally
