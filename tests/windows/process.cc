#include "process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdexcept>

namespace vmtally::e2e {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

// A pipe whose one end a child inherits.
struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
};

Pipe MakePipe(bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Pipe pipe;
  if (!CreatePipe(&pipe.read, &pipe.write, &inherit, 0) ||
      !SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0)) {
    Fail("CreatePipe");
  }
  return pipe;
}

std::string ReadAll(HANDLE handle) {
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

PROCESS_INFORMATION Start(const std::string& program, std::string commandLine, HANDLE in,
                          HANDLE out, HANDLE err) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &started)) {
    Fail("CreateProcessA " + program);
  }
  CloseHandle(started.hThread);
  return started;
}

std::string BuildPath(const char* name) {
  std::string path = VMTALLY_BUILD_DIRECTORY;
  path += name;
  return path;
}

}  // namespace

std::string VmtallyPath() {
  return BuildPath("\\vmtally.exe");
}

namespace {

// Runs program and collects what it writes; with readerGone, its standard output is a
// pipe whose read end is closed before it starts.
RunResult Run(const std::string& program, const std::string& commandLine, bool readerGone) {
  Pipe out = MakePipe(false);
  Pipe err = MakePipe(false);
  if (readerGone) {
    CloseHandle(out.read);
    out.read = nullptr;
  }
  const PROCESS_INFORMATION started =
      Start(program, commandLine, GetStdHandle(STD_INPUT_HANDLE), out.write, err.write);
  CloseHandle(out.write);
  CloseHandle(err.write);
  RunResult result;
  if (out.read != nullptr) {
    result.out = ReadAll(out.read);
    CloseHandle(out.read);
  }
  result.err = ReadAll(err.read);
  CloseHandle(err.read);
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(started.hProcess, &code);
  result.exitCode = code;
  CloseHandle(started.hProcess);
  return result;
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::string& commandLine) {
  return Run(program, commandLine, false);
}

RunResult RunWithoutReader(const std::string& program, const std::string& commandLine) {
  return Run(program, commandLine, true);
}

FixtureProcess::FixtureProcess() {
  Pipe in = MakePipe(true);
  Pipe out = MakePipe(false);
  const std::string program = BuildPath("\\tests\\fixture_target.exe");
  const PROCESS_INFORMATION started =
      Start(program, "fixture_target.exe", in.read, out.write, GetStdHandle(STD_ERROR_HANDLE));
  CloseHandle(in.read);
  CloseHandle(out.write);
  process = started.hProcess;
  input = in.write;
  output = out.read;
  std::string line;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    if (c != '\r') {
      line += c;
    }
  }
  processId = started.dwProcessId;
  if (line != std::to_string(processId) + " ready") {
    throw std::runtime_error("the fixture target did not start: [" + line + "]");
  }
}

FixtureProcess::~FixtureProcess() {
  CloseHandle(input);
  WaitForSingleObject(process, 10000);
  CloseHandle(output);
  CloseHandle(process);
}

std::vector<std::string> FixtureProcess::Walk() {
  DWORD written = 0;
  if (!WriteFile(input, "walk\n", 5, &written, nullptr)) {
    Fail("WriteFile");
  }
  std::vector<std::string> lines;
  std::string line;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(output, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\r') {
      continue;
    }
    if (c != '\n') {
      line += c;
    } else if (line == "end") {
      return lines;
    } else {
      lines.push_back(line);
      line.clear();
    }
  }
  throw std::runtime_error("the fixture target ended its walk early");
}

}  // namespace vmtally::e2e
