#include "survey/walk.h"

#include <array>
#include <limits>

#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"
#include "survey/stats.h"

namespace vmtally {
namespace {

constexpr std::uint32_t kMessageFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr std::uint32_t kMessageBufferSize = 256;

void WriteOpenFailure(std::uint32_t errorCode) {
  std::array<char, kMessageBufferSize> buffer{};
  std::uint32_t length = FormatMessageA(kMessageFlags, nullptr, errorCode, 0, buffer.data(),
                                        kMessageBufferSize, nullptr);
  if (length > buffer.size()) {
    length = 0;  // a length the buffer cannot hold is no text
  }
  WriteLine(TrimMessageEnd(std::string_view(buffer.data(), length)));
}

// Closes the process handle when the walk is done, or abandoned by a failure.
struct ProcessHandle {
  HANDLE handle;
  explicit ProcessHandle(HANDLE opened) : handle(opened) {}
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  ~ProcessHandle() { Close(); }
  void Close() {
    if (handle != nullptr) {
      CloseHandle(handle);
      handle = nullptr;
    }
  }
};

SurveyTotals WalkAddressSpace(HANDLE process, std::int32_t freeThreshold) {
  SYSTEM_INFO info{};
  GetSystemInfo(info);

  SurveyTotals totals{};
  std::uint32_t address = 0;
  while (address < info.lpMaximumApplicationAddress) {
    MEMORY_BASIC_INFORMATION region{};
    std::uint32_t step = info.dwPageSize;
    // A region of no size would not move the walk on: it is taken as a failed query.
    if (VirtualQueryEx(process, address, region, sizeof region) != 0 && region.RegionSize != 0) {
      AccumulateRegion(totals, region.RegionSize, region.State, region.Type, freeThreshold);
      step = region.RegionSize;
    }
    // The walk ends where the next step would stand still or run past the top of the
    // 32-bit space and start over at 0.
    if (step == 0 || step > std::numeric_limits<std::uint32_t>::max() - address) {
      break;
    }
    address += step;
  }
  return totals;
}

}  // namespace

void SurveyProcess(std::uint32_t processId, std::int32_t freeThreshold) {
  ProcessHandle process{OpenProcess(PROCESS_QUERY_INFORMATION, false, processId)};
  if (process.handle == nullptr) {
    WriteOpenFailure(GetLastError());
    return;
  }
  const SurveyTotals totals = WalkAddressSpace(process.handle, freeThreshold);
  // Let go of the target before the first line: standard output may block for as long
  // as its reader likes (a pager, a full pipe), and the handle would hold the target's
  // process object, and on Linux the region table, for all that time.
  process.Close();
  WriteReport(totals, freeThreshold);
}

}  // namespace vmtally
