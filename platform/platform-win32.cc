// The system calls vmtally makes, on kernel32 itself.
#include "platform/platform.h"  // first: <windows.h> defines its constants as macros

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "platform/text.h"

namespace vmtally {
namespace {

std::uint32_t Address(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Writes all of text to a standard handle; false when the system does not take it.
bool WriteAll(DWORD which, std::string_view text) {
  const ::HANDLE handle = ::GetStdHandle(which);
  while (!text.empty()) {
    DWORD written = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr ||
        !::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

std::string FailureText(DWORD code) {
  std::array<char, 256> buffer{};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer.data(), buffer.size(), nullptr);
  if (length > buffer.size()) {
    length = 0;
  }
  const std::string_view message = TrimMessageEnd(std::string_view(buffer.data(), length));
  std::string text = "error " + std::to_string(code);
  if (!message.empty()) {
    text += " (" + std::string(message) + ")";
  }
  return text;
}

}  // namespace

HANDLE OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId) {
  return ::OpenProcess(dwDesiredAccess, bInheritHandle ? TRUE : FALSE, dwProcessId);
}

std::uint32_t GetLastError() {
  return ::GetLastError();
}

std::uint32_t FormatMessageA(std::uint32_t dwFlags, const void* lpSource, std::uint32_t dwMessageId,
                             std::uint32_t dwLanguageId, char* lpBuffer, std::uint32_t nSize,
                             void* Arguments) {
  return ::FormatMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                          static_cast<va_list*>(Arguments));
}

void GetSystemInfo(SYSTEM_INFO& lpSystemInfo) {
  ::SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  lpSystemInfo.dwPageSize = info.dwPageSize;
  lpSystemInfo.lpMinimumApplicationAddress = Address(info.lpMinimumApplicationAddress);
  lpSystemInfo.lpMaximumApplicationAddress = Address(info.lpMaximumApplicationAddress);
}

std::uint32_t VirtualQueryEx(HANDLE hProcess, std::uint32_t lpAddress,
                             MEMORY_BASIC_INFORMATION& lpBuffer, std::uint32_t dwLength) {
  static_assert(sizeof(::MEMORY_BASIC_INFORMATION) == sizeof(MEMORY_BASIC_INFORMATION));
  ::MEMORY_BASIC_INFORMATION info{};
  const SIZE_T got = ::VirtualQueryEx(
      hProcess, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(lpAddress)), &info,
      dwLength < sizeof info ? dwLength : sizeof info);
  if (got == 0) {
    return 0;
  }
  lpBuffer.BaseAddress = Address(info.BaseAddress);
  lpBuffer.AllocationBase = Address(info.AllocationBase);
  lpBuffer.AllocationProtect = info.AllocationProtect;
  lpBuffer.RegionSize = static_cast<std::uint32_t>(info.RegionSize);
  lpBuffer.State = info.State;
  lpBuffer.Protect = info.Protect;
  lpBuffer.Type = info.Type;
  return static_cast<std::uint32_t>(got);
}

bool CloseHandle(HANDLE hObject) {
  return ::CloseHandle(hObject) != FALSE;
}

bool TryWriteLine(std::string_view text) noexcept {
  std::array<char, 512> buffer{};
  const std::string_view line = WithLineEnd(text, buffer);
  return line.empty() ? WriteAll(STD_OUTPUT_HANDLE, text) && WriteAll(STD_OUTPUT_HANDLE, kLineEnd)
                      : WriteAll(STD_OUTPUT_HANDLE, line);
}

void WriteLine(std::string_view text) {
  if (!TryWriteLine(text)) {
    throw OutputError("cannot write to standard output: " + FailureText(::GetLastError()));
  }
}

void WriteDiagnostic(std::string_view text) noexcept {
  WriteAll(STD_ERROR_HANDLE, "vmtally: ") && WriteAll(STD_ERROR_HANDLE, text) &&
      WriteAll(STD_ERROR_HANDLE, kLineEnd);
}

void StartProgram(int /*argc*/, char** /*argv*/) noexcept {}

// The arguments come from the one command-line text, split by the tool's own rules.
std::uint32_t ArgumentCount() noexcept {
  return CountArguments(::GetCommandLineA());
}

std::string_view Argument(std::uint32_t index) {
  // Split once, when the first argument is wanted; the quotes removed, the arguments
  // live in a copy of their own.
  static const std::vector<std::string> arguments = SplitCommandLine(::GetCommandLineA());
  if (index == 0 || index > arguments.size()) {
    return {};
  }
  return arguments[index - 1];
}

void ExitProcess(std::uint32_t uExitCode) {
  ::ExitProcess(uExitCode);
}

}  // namespace vmtally
