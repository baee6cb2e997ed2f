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

// The survey, with every failure in it turned into the usage line.
void RunGuarded(const std::vector<std::string>& arguments) {
  try {
    const std::optional<std::int32_t> processId = ParseInteger(arguments[0]);
    if (!processId) {
      throw std::invalid_argument("process id");
    }
    std::int32_t freeThreshold = 0;
    if (arguments.size() == 2) {
      const std::optional<std::int32_t> threshold = ParseInteger(arguments[1]);
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

std::uint32_t RunTool(const std::vector<std::string>& arguments) {
  try {
    WriteLine(kBanner);
    WriteLine("");
    if (arguments.size() != 1 && arguments.size() != 2) {
      WriteLine(kUsageLine);
    } else {
      RunGuarded(arguments);
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
