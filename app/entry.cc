#include "app/entry.h"

#include <exception>
#include <stdexcept>

#include "app/command_line.h"
#include "platform/platform.h"
#include "survey/walk.h"

#ifndef VMTALLY_VERSION
#define VMTALLY_VERSION "0"
#endif

namespace vmtally {
namespace {

constexpr std::string_view kBanner =
    "vmtally " VMTALLY_VERSION " - address space statistics, by the vmtally authors";

// Whether the guarded step is under way.
bool guarded = false;

struct GuardedStep {
  GuardedStep() { guarded = true; }
  ~GuardedStep() { guarded = false; }
  GuardedStep(const GuardedStep&) = delete;
  GuardedStep& operator=(const GuardedStep&) = delete;
};

// With memory so short that not even an exception can be made to report a failure, the
// C++ runtime gives up through std::terminate. The run still ends as any failure would:
// with the usage line inside the guarded step, otherwise with exit code 1 and a word why.
// Writing a line takes no memory.
[[noreturn]] void EndWhenTheRuntimeGivesUp() noexcept {
  if (guarded && TryWriteLine(kUsageLine)) {
    ExitProcess(0);
  }
  WriteDiagnostic(std::current_exception() ? "failed" : "out of memory");
  ExitProcess(1);
}

// The survey, with every failure in it turned into the usage line: the arguments are
// only read here, so that not even running out of memory for them ends the run early.
void RunGuarded(std::uint32_t argumentCount) {
  try {
    const GuardedStep step;
    const std::optional<std::int32_t> processId = ParseInteger(Argument(1));
    if (!processId) {
      throw std::invalid_argument("process id");
    }
    std::int32_t freeThreshold = 0;
    if (argumentCount == 2) {
      const std::optional<std::int32_t> threshold = ParseInteger(Argument(2));
      if (!threshold) {
        throw std::invalid_argument("threshold");
      }
      freeThreshold = *threshold;
    }
    SurveyProcess(static_cast<std::uint32_t>(*processId), freeThreshold);
  } catch (...) {
    WriteLine(kUsageLine);
  }
}

}  // namespace

std::uint32_t RunTool() {
  std::set_terminate(EndWhenTheRuntimeGivesUp);
  try {
    WriteLine(kBanner);
    WriteLine("");
    const std::uint32_t argumentCount = ArgumentCount();
    if (argumentCount != 1 && argumentCount != 2) {
      WriteLine(kUsageLine);
    } else {
      RunGuarded(argumentCount);
    }
    return 0;
  } catch (const std::exception& failure) {
    WriteDiagnostic(failure.what());
  } catch (...) {
    WriteDiagnostic("failed");
  }
  return 1;
}

}  // namespace vmtally
