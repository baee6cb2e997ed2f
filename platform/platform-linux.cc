// The system calls vmtally makes, answered from /proc. A process handle is the open
// maps file of the process and the region table last read from it.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/maps-linux.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace vmtally {
namespace {

constexpr std::size_t kReadSize = std::size_t{256} * 1024;

struct ProcessMaps {
  int fd = -1;
  std::uint32_t pageSize = 0;
  MapsTable table;
  std::unique_ptr<char[]> buffer;
  bool started = false;  // a reading has been made
  std::uint32_t lastAddress = 0;
  std::size_t next = 0;
};

std::uint32_t lastError = 0;

// The command line main was given.
int argumentsGiven = 0;
char** argumentTexts = nullptr;

// Reads the whole maps file afresh into the table. A read that fails part of the way
// (the target was reaped: ESRCH) ends the reading with what came before it.
void ReadMaps(ProcessMaps& process) {
  BeginMaps(process.table);
  if (lseek(process.fd, 0, SEEK_SET) != 0) {
    FinishMaps(process.table, ReadingEnd::kFailedRead);
    return;
  }
  if (!process.buffer) {
    process.buffer = std::make_unique_for_overwrite<char[]>(kReadSize);
  }
  for (;;) {
    const ssize_t got = read(process.fd, process.buffer.get(), kReadSize);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      FinishMaps(process.table, ReadingEnd::kFailedRead);
      return;
    }
    if (got == 0) {
      FinishMaps(process.table, ReadingEnd::kEndOfFile);
      return;
    }
    FeedMaps(process.table, std::string_view(process.buffer.get(), static_cast<std::size_t>(got)));
  }
}

// Writes all of text to standard output; false, with errno saying why, when it does not
// take it.
bool WriteAll(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      if (written == 0) {
        errno = EIO;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

const char* ErrorText(int code) {
#if defined(__GLIBC__)
  return strerrordesc_np(code);  // null for a code with no text
#else
  return std::strerror(code);
#endif
}

}  // namespace

// The maps file is opened for reading only, and never inherited: the rights asked for
// change nothing.
HANDLE OpenProcess(std::uint32_t /*dwDesiredAccess*/, bool /*bInheritHandle*/,
                   std::uint32_t dwProcessId) {
  std::array<char, 32> path{};
  if (std::snprintf(path.data(), path.size(), "/proc/%u/maps", dwProcessId) <= 0) {
    lastError = EINVAL;
    return nullptr;
  }
  auto process = std::make_unique<ProcessMaps>();
  process->pageSize = static_cast<std::uint32_t>(sysconf(_SC_PAGESIZE));
  process->fd = open(path.data(), O_RDONLY | O_CLOEXEC);
  if (process->fd < 0) {
    lastError = static_cast<std::uint32_t>(errno == ENOENT ? ESRCH : errno);
    return nullptr;
  }
  return process.release();
}

std::uint32_t GetLastError() {
  return lastError;
}

// The text of an errno code; the flags, language and arguments have no say on Linux.
std::uint32_t FormatMessageA(std::uint32_t /*dwFlags*/, const void* /*lpSource*/,
                             std::uint32_t dwMessageId, std::uint32_t /*dwLanguageId*/,
                             char* lpBuffer, std::uint32_t nSize, void* /*Arguments*/) {
  const char* text = ErrorText(static_cast<int>(dwMessageId));
  const std::size_t length = text == nullptr ? 0 : std::strlen(text);
  if (length == 0 || length >= nSize) {
    return 0;
  }
  std::memcpy(lpBuffer, text, length + 1);
  return static_cast<std::uint32_t>(length);
}

void GetSystemInfo(SYSTEM_INFO& lpSystemInfo) {
  lpSystemInfo = SYSTEM_INFO{};
  lpSystemInfo.dwPageSize = static_cast<std::uint32_t>(sysconf(_SC_PAGESIZE));
  lpSystemInfo.lpMinimumApplicationAddress = 0x10000;
  lpSystemInfo.lpMaximumApplicationAddress = kViewEnd - 1;
}

std::uint32_t VirtualQueryEx(HANDLE hProcess, std::uint32_t lpAddress,
                             MEMORY_BASIC_INFORMATION& lpBuffer, std::uint32_t dwLength) {
  auto* process = static_cast<ProcessMaps*>(hProcess);
  if (process == nullptr || dwLength < sizeof lpBuffer) {
    return 0;
  }
  // A walk goes upward through one reading; a query below the last one starts a new walk
  // and so a new reading.
  if (!process->started || lpAddress < process->lastAddress) {
    ReadMaps(*process);
    process->started = true;
    process->next = 0;
  }
  process->lastAddress = lpAddress;
  return DescribeAddress(process->table, process->next, lpAddress, process->pageSize, lpBuffer)
             ? sizeof lpBuffer
             : 0;
}

bool CloseHandle(HANDLE hObject) {
  std::unique_ptr<ProcessMaps> process(static_cast<ProcessMaps*>(hObject));
  return process != nullptr && close(process->fd) == 0;
}

bool TryWriteLine(std::string_view text) noexcept {
  std::array<char, 512> buffer{};
  const std::string_view line = WithLineEnd(text, buffer);
  return line.empty() ? WriteAll(text) && WriteAll(kLineEnd) : WriteAll(line);
}

void WriteLine(std::string_view text) {
  if (!TryWriteLine(text)) {
    throw OutputError(std::string("cannot write to standard output: ") + std::strerror(errno));
  }
}

void WriteDiagnostic(std::string_view text) noexcept {
  std::array<iovec, 3> parts = {{
      {const_cast<char*>("vmtally: "), 9},
      {const_cast<char*>(text.data()), text.size()},
      {const_cast<char*>("\n"), 1},
  }};
  while (writev(STDERR_FILENO, parts.data(), static_cast<int>(parts.size())) < 0 &&
         errno == EINTR) {
  }
}

void StartProgram(int argc, char** argv) noexcept {
  // A reader that goes away must show as a failed write, not end the process.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
  argumentsGiven = argc;
  argumentTexts = argv;
}

// The arguments are the shell's split, and stay where the system put them for the whole
// run: nothing is copied.
std::uint32_t ArgumentCount() noexcept {
  return argumentsGiven > 1 ? static_cast<std::uint32_t>(argumentsGiven - 1) : 0;
}

std::string_view Argument(std::uint32_t index) {
  if (index == 0 || index > ArgumentCount()) {
    return {};
  }
  return argumentTexts[index];
}

void ExitProcess(std::uint32_t uExitCode) {
  std::exit(static_cast<int>(uExitCode));
}

}  // namespace vmtally
