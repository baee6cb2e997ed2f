#include "fake_platform.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace vmtally {
namespace {

FakeSystem fake;
int processToken;  // what the fake's handles point to

// Throws the failure, or, when the runtime is scripted to give up, does what the C++
// runtime does when it has no memory even for the exception.
template <typename Failure>
[[noreturn]] void Throw(const Failure& failure) {
  if (fake.runtimeGivesUp) {
    std::terminate();
  }
  throw failure;
}

}  // namespace

FakeSystem& Fake() {
  return fake;
}

HANDLE OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId) {
  fake.openedAccess = dwDesiredAccess;
  fake.openedInheritable = bInheritHandle;
  fake.openedProcessId = dwProcessId;
  if (fake.openFails) {
    return nullptr;
  }
  ++fake.openHandles;
  return &processToken;
}

std::uint32_t GetLastError() {
  return fake.openError;
}

std::uint32_t FormatMessageA(std::uint32_t dwFlags, const void*, std::uint32_t dwMessageId,
                             std::uint32_t dwLanguageId, char* lpBuffer, std::uint32_t nSize,
                             void*) {
  fake.messageFlags = dwFlags;
  fake.messageId = dwMessageId;
  fake.messageLanguage = dwLanguageId;
  fake.messageBufferSize = nSize;
  if (fake.messageLengthTooLarge) {
    return nSize + 100;
  }
  if (fake.messageText.size() >= nSize) {
    return 0;
  }
  std::memcpy(lpBuffer, fake.messageText.c_str(), fake.messageText.size() + 1);
  return static_cast<std::uint32_t>(fake.messageText.size());
}

void GetSystemInfo(SYSTEM_INFO& lpSystemInfo) {
  lpSystemInfo = fake.info;
}

std::uint32_t VirtualQueryEx(HANDLE hProcess, std::uint32_t lpAddress,
                             MEMORY_BASIC_INFORMATION& lpBuffer, std::uint32_t dwLength) {
  fake.queries.push_back(lpAddress);
  fake.queryLength = dwLength;
  if (hProcess != &processToken || fake.openHandles == 0 ||
      (lpAddress >= fake.failQueriesFrom && lpAddress < fake.failQueriesTo)) {
    return 0;
  }
  for (const FakeRegion& region : fake.regions) {
    // A region of size 0 answers a query at its base with a region of no size.
    if ((lpAddress >= region.base && lpAddress - region.base < region.size) ||
        (region.size == 0 && lpAddress == region.base)) {
      lpBuffer = MEMORY_BASIC_INFORMATION{};
      lpBuffer.BaseAddress = lpAddress;
      lpBuffer.AllocationBase = region.base;
      lpBuffer.RegionSize = region.size - (lpAddress - region.base);
      lpBuffer.State = region.state;
      lpBuffer.Type = region.type;
      return sizeof lpBuffer;
    }
  }
  return 0;
}

bool CloseHandle(HANDLE hObject) {
  ++fake.closes;
  fake.linesWhenClosed = fake.lines.size();
  if (hObject != &processToken || fake.openHandles == 0) {
    return false;
  }
  --fake.openHandles;
  return true;
}

bool TryWriteLine(std::string_view text) noexcept {
  const std::size_t index = fake.writes++;
  if (index >= fake.failWritesFrom && index < fake.failWritesTo) {
    return false;
  }
  fake.lines.emplace_back(text);
  return true;
}

void WriteLine(std::string_view text) {
  if (!TryWriteLine(text)) {
    Throw(OutputError("cannot write to standard output: scripted failure"));
  }
}

void WriteDiagnostic(std::string_view text) noexcept {
  try {
    fake.diagnostics.emplace_back(text);
  } catch (...) {
  }
}

void StartProgram(int /*argc*/, char** /*argv*/) noexcept {}

std::uint32_t ArgumentCount() noexcept {
  return static_cast<std::uint32_t>(fake.arguments.size());
}

std::string_view Argument(std::uint32_t index) {
  if (fake.argumentFails) {
    Throw(std::bad_alloc());
  }
  if (index == 0 || index > fake.arguments.size()) {
    return {};
  }
  return fake.arguments[index - 1];
}

void ExitProcess(std::uint32_t uExitCode) {
  std::exit(static_cast<int>(uExitCode));
}

}  // namespace vmtally
