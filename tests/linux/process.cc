#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vmtally::e2e {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return text;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

std::vector<char*> Argv(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  return argv;
}

// A copy of vmtally that anyone may run, for runs as another user.
std::string PublicCopyOfVmtally() {
  static std::string path;
  if (path.empty()) {
    char directory[] = "/tmp/vmtally-e2e-XXXXXX";
    if (mkdtemp(directory) == nullptr || chmod(directory, 0755) != 0) {
      Fail("mkdtemp");
    }
    path = std::string(directory) + "/vmtally";
    static std::string removeDirectory = directory;
    std::atexit([] { std::system(("rm -rf '" + removeDirectory + "'").c_str()); });
    std::ifstream from(VmtallyPath(), std::ios::binary);
    std::ofstream to(path, std::ios::binary);
    to << from.rdbuf();
    to.close();
    if (!to || chmod(path.c_str(), 0755) != 0) {
      Fail("copy vmtally");
    }
  }
  return path;
}

}  // namespace

std::string VmtallyPath() {
  return VMTALLY_PATH;
}

std::string BannerLines() {
  return "vmtally " VMTALLY_VERSION " - address space statistics, by the vmtally authors\r\n\r\n";
}

bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

FixtureProcess::FixtureProcess() {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    Fail("pipe");
  }
  pid = fork();
  if (pid < 0) {
    Fail("fork");
  }
  if (pid == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    execl(FIXTURE_PATH, FIXTURE_PATH, FIXTURE_DIRECTORY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  this->input = input[1];
  std::string line;
  char c;
  while (read(output[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(output[0]);
  if (line != std::to_string(pid) + " ready") {
    throw std::runtime_error("the fixture target did not start: [" + line + "]");
  }
}

FixtureProcess::~FixtureProcess() {
  close(input);
  waitpid(pid, nullptr, 0);
}

RunResult RunVmtally(const std::vector<std::string>& arguments, const RunOptions& options) {
  std::vector<std::string> words = options.wrapper;
  words.push_back(options.unprivileged ? PublicCopyOfVmtally() : VmtallyPath());
  words.insert(words.end(), arguments.begin(), arguments.end());

  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    Fail("pipe");
  }
  std::string fileName = options.file;
  int file = -1;
  if (options.output == Output::kFile) {
    if (fileName.empty()) {
      char temporary[] = "/tmp/vmtally-e2e-out-XXXXXX";
      file = mkostemp(temporary, O_CLOEXEC);
      fileName = temporary;
    } else {
      file = open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    if (file < 0) {
      Fail("output file");
    }
  }

  if (options.output == Output::kPipeWithoutReader) {
    close(out[0]);  // before the child can write
    out[0] = -1;
  }

  const pid_t child = fork();
  if (child < 0) {
    Fail("fork");
  }
  if (child == 0) {
    std::vector<char*> argv = Argv(words);
    dup2(err[1], STDERR_FILENO);
    switch (options.output) {
      case Output::kPipe:
        dup2(out[1], STDOUT_FILENO);
        break;
      case Output::kDevFull:
        dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
        break;
      case Output::kClosed:
        close(STDOUT_FILENO);
        break;
      case Output::kPipeWithoutReader:
        dup2(out[1], STDOUT_FILENO);
        signal(SIGPIPE, SIG_DFL);
        break;
      case Output::kFile:
        dup2(file, STDOUT_FILENO);
        if (options.fileLimit != 0) {
          const rlimit limit{options.fileLimit, options.fileLimit};
          setrlimit(RLIMIT_FSIZE, &limit);
          signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
        }
        break;
    }
    if (options.unprivileged &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(126);
    }
    if (!options.wrapper.empty()) {
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the leak checker cannot run under ptrace
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  RunResult result;
  if (out[0] >= 0) {
    result.out = ReadAll(out[0]);
    close(out[0]);
  }
  result.err = ReadAll(err[0]);
  close(err[0]);
  if (file >= 0) {
    lseek(file, 0, SEEK_SET);
    result.out = ReadAll(file);
    close(file);
    unlink(fileName.c_str());
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace vmtally::e2e
