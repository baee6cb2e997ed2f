// Starting Windows processes with exact command lines and reading what they write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vmtally::e2e {

struct RunResult {
  std::string out;
  std::string err;
  std::uint32_t exitCode = 0xFFFFFFFF;
};

// Runs program with commandLine as its whole command-line text, as CreateProcessA passes it.
RunResult RunProgram(const std::string& program, const std::string& commandLine);

// The same with standard output a pipe whose reader has gone before the program starts.
RunResult RunWithoutReader(const std::string& program, const std::string& commandLine);

// The fixture target, alive from construction to destruction.
struct FixtureProcess {
  std::uint32_t processId = 0;
  void* process = nullptr;
  void* input = nullptr;
  void* output = nullptr;
  FixtureProcess();
  ~FixtureProcess();
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;

  // The lines of the target's walk of its own address space, up to "end".
  std::vector<std::string> Walk();
};

std::string VmtallyPath();

}  // namespace vmtally::e2e
