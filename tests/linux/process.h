// Running the real vmtally binary and the fixture target as child processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vmtally::e2e {

// A target process, alive from construction until Exit() or destruction: by default
// the fixture target, or another program that prints its pid and "ready" when set up.
struct FixtureProcess {
  pid_t pid = -1;
  explicit FixtureProcess(std::vector<std::string> command = {FIXTURE_PATH, FIXTURE_DIRECTORY});
  ~FixtureProcess();
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;

  // Makes the target exit. Until it is reaped it is a zombie, with no address space.
  void Exit();
  // Makes it exit and reaps it: its pid names no process afterwards.
  void Reap();

 private:
  int input = -1;  // closing it makes the target exit
  bool reaped = false;
};

enum class Output { kPipe, kDevFull, kClosed, kPipeWithoutReader, kFile };

struct RunOptions {
  Output output = Output::kPipe;
  std::filesystem::path file;        // for kFile: its path; a scratch file if empty
  std::uint64_t fileLimit = 0;       // for kFile: bytes it may take, 0 for no limit
  std::uint64_t addressSpace = 0;    // bytes of address space vmtally may have, 0 for no limit
  bool unprivileged = false;         // run as nobody
  std::vector<std::string> wrapper;  // a command to run vmtally under, such as strace
};

struct RunResult {
  std::string out;
  std::string err;
  int exitCode = -1;  // -1 when it did not exit normally
};

RunResult RunVmtally(const std::vector<std::string>& arguments, const RunOptions& options = {});

// A path in a directory of this test program's own, which anyone may read and which goes
// when the program ends.
std::filesystem::path ScratchPath(const std::string& name);

// The banner and empty line every run starts with.
std::string BannerLines();

// Whether a program is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace vmtally::e2e
