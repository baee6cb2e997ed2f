// Running the real vmtally binary and the fixture target as child processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vmtally::e2e {

// The fixture target, alive from construction to destruction.
struct FixtureProcess {
  pid_t pid = -1;
  int input = -1;  // closing it ends the target
  FixtureProcess();
  ~FixtureProcess();
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;
};

enum class Output { kPipe, kDevFull, kClosed, kPipeWithoutReader, kFile };

struct RunOptions {
  Output output = Output::kPipe;
  std::string file;                  // for kFile: its path; a fresh temporary file if empty
  std::uint64_t fileLimit = 0;       // for kFile: bytes it may take, 0 for no limit
  bool unprivileged = false;         // run as nobody
  std::vector<std::string> wrapper;  // a command to run vmtally under, such as strace
};

struct RunResult {
  std::string out;
  std::string err;
  int exitCode = -1;  // -1 when it did not exit normally
};

RunResult RunVmtally(const std::vector<std::string>& arguments, const RunOptions& options = {});

// The path of the built vmtally.
std::string VmtallyPath();

// The banner and empty line every run starts with.
std::string BannerLines();

// Whether a program is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace vmtally::e2e
