// What vmtally needs of the operating system: process and memory queries,
// message text, the command line and console output.
//
// The names and values are the Windows ones. The Windows build forwards each
// call to kernel32 (platform-win32.cc); the Linux build answers the same calls
// from /proc (platform-linux.cc); tests link a scripted system of their own.
//
// Include this header before <windows.h>: the constants below share their
// names with the macros that <windows.h> defines.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace vmtally {

using HANDLE = void*;

inline constexpr std::uint32_t PROCESS_QUERY_INFORMATION = 0x0400;

inline constexpr std::uint32_t MEM_COMMIT = 0x1000;
inline constexpr std::uint32_t MEM_RESERVE = 0x2000;
inline constexpr std::uint32_t MEM_FREE = 0x10000;
inline constexpr std::uint32_t MEM_PRIVATE = 0x20000;
inline constexpr std::uint32_t MEM_MAPPED = 0x40000;
inline constexpr std::uint32_t MEM_IMAGE = 0x1000000;

inline constexpr std::uint32_t PAGE_NOACCESS = 0x01;
inline constexpr std::uint32_t PAGE_READONLY = 0x02;
inline constexpr std::uint32_t PAGE_READWRITE = 0x04;
inline constexpr std::uint32_t PAGE_EXECUTE = 0x10;
inline constexpr std::uint32_t PAGE_EXECUTE_READ = 0x20;
inline constexpr std::uint32_t PAGE_EXECUTE_READWRITE = 0x40;

inline constexpr std::uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x0200;
inline constexpr std::uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
inline constexpr std::uint32_t FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000;

// The region record of a 32-bit process, field for field.
struct MEMORY_BASIC_INFORMATION {
  std::uint32_t BaseAddress = 0;
  std::uint32_t AllocationBase = 0;
  std::uint32_t AllocationProtect = 0;
  std::uint32_t RegionSize = 0;
  std::uint32_t State = 0;
  std::uint32_t Protect = 0;
  std::uint32_t Type = 0;
};
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 28);

// The part of the system description that vmtally reads.
struct SYSTEM_INFO {
  std::uint32_t dwPageSize = 0;
  std::uint32_t lpMinimumApplicationAddress = 0;
  std::uint32_t lpMaximumApplicationAddress = 0;
};

// A process handle for queries, or nullptr on failure (then GetLastError says why).
HANDLE OpenProcess(std::uint32_t dwDesiredAccess, bool bInheritHandle, std::uint32_t dwProcessId);

// The error code of the last failed call.
std::uint32_t GetLastError();

// The system's text for a message id, written to lpBuffer (nSize characters at most, the
// terminating NUL included). Returns the text's length, 0 when there is none.
std::uint32_t FormatMessageA(std::uint32_t dwFlags, const void* lpSource, std::uint32_t dwMessageId,
                             std::uint32_t dwLanguageId, char* lpBuffer, std::uint32_t nSize,
                             void* Arguments);

void GetSystemInfo(SYSTEM_INFO& lpSystemInfo);

// Describes the region that contains lpAddress, from that address's page on. Returns the
// number of bytes written to lpBuffer, 0 on failure.
std::uint32_t VirtualQueryEx(HANDLE hProcess, std::uint32_t lpAddress,
                             MEMORY_BASIC_INFORMATION& lpBuffer, std::uint32_t dwLength);

bool CloseHandle(HANDLE hObject);

// Thrown by WriteLine when standard output does not take a line.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes the bytes of text unchanged to standard output, then CR LF. Throws OutputError
// when the write fails.
void WriteLine(std::string_view text);

// The same for when the run can no longer throw: false when the write fails.
bool TryWriteLine(std::string_view text) noexcept;

// Writes "vmtally: ", the text and a line end to standard error, as well as it can.
void WriteDiagnostic(std::string_view text) noexcept;

// Sets the process up for the run (on Linux: a closed pipe must not kill the tool, and
// the arguments are those main was given). Allocates nothing and cannot fail.
void StartProgram(int argc, char** argv) noexcept;

// The number of arguments after the program path. Allocates nothing.
std::uint32_t ArgumentCount() noexcept;

// Argument index (1-based) after the program path; the empty text beyond the count. On
// Windows the command line is split on the first call, which can fail.
std::string_view Argument(std::uint32_t index);

// Ends the process with the exit code.
[[noreturn]] void ExitProcess(std::uint32_t uExitCode);

}  // namespace vmtally
