#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "texts.h"

namespace vmtally::e2e {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Appends what one read from fd gives to text; false at the end of the file.
bool ReadSome(int fd, std::string& text) {
  std::array<char, 4096> buffer{};
  ssize_t got = 0;
  while ((got = read(fd, buffer.data(), buffer.size())) < 0 && errno == EINTR) {
  }
  if (got <= 0) {
    return false;
  }
  text.append(buffer.data(), static_cast<std::size_t>(got));
  return true;
}

// The arguments of an exec call: the words, then a null pointer.
std::vector<char*> Argv(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  return argv;
}

// The directory behind ScratchPath, removed with everything in it when the program ends.
struct ScratchDirectory {
  fs::path path;
  ScratchDirectory()
      : path(fs::temp_directory_path() / ("vmtally-e2e-" + std::to_string(getpid()))) {
    fs::create_directories(path);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
};

// A copy of vmtally that anyone may run, for runs as another user: the build tree may be
// closed to them.
std::string PublicCopyOfVmtally() {
  static const fs::path copy = [] {
    const fs::path path = ScratchPath("vmtally");
    fs::copy_file(VMTALLY_PATH, path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return path;
  }();
  return copy;
}

// The parent's ends of where the child's standard output and error go.
struct Streams {
  int out[2] = {-1, -1};  // a pipe, for kPipe and kPipeWithoutReader
  int err[2] = {-1, -1};
  int file = -1;  // for kFile
  fs::path fileName;
};

Streams OpenStreams(const RunOptions& options) {
  Streams streams;
  if (pipe2(streams.out, O_CLOEXEC) != 0 || pipe2(streams.err, O_CLOEXEC) != 0) {
    Fail("pipe");
  }
  if (options.output == Output::kFile) {
    streams.fileName = options.file.empty() ? ScratchPath("out") : options.file;
    streams.file = open(streams.fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (streams.file < 0) {
      Fail("output file");
    }
  }
  if (options.output == Output::kPipeWithoutReader) {
    close(streams.out[0]);  // before the child can write
    streams.out[0] = -1;
  }
  return streams;
}

// In the child: standard output and error as the options say.
void ConnectStreams(const RunOptions& options, const Streams& streams) {
  dup2(streams.err[1], STDERR_FILENO);
  switch (options.output) {
    case Output::kPipe:
      dup2(streams.out[1], STDOUT_FILENO);
      break;
    case Output::kDevFull:
      dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
      break;
    case Output::kClosed:
      close(STDOUT_FILENO);
      break;
    case Output::kPipeWithoutReader:
      dup2(streams.out[1], STDOUT_FILENO);
      signal(SIGPIPE, SIG_DFL);
      break;
    case Output::kFile:
      dup2(streams.file, STDOUT_FILENO);
      if (options.fileLimit != 0) {
        const rlimit limit{options.fileLimit, options.fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
      }
      break;
  }
}

// In the child: the limits and the user it runs under, then vmtally itself.
[[noreturn]] void StartVmtally(const RunOptions& options, std::vector<std::string> words) {
  if (options.addressSpace != 0) {
    const rlimit limit{options.addressSpace, options.addressSpace};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (options.unprivileged &&
      (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
    _exit(126);
  }
  if (!options.wrapper.empty()) {
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the leak checker cannot run under ptrace
  }
  std::vector<char*> argv = Argv(words);
  execvp(argv[0], argv.data());
  _exit(127);
}

// In the parent: everything the child writes, read as it comes so that no pipe fills up,
// then how it ended.
RunResult Collect(pid_t child, Streams& streams) {
  close(streams.out[1]);
  close(streams.err[1]);
  RunResult result;
  std::array<pollfd, 2> open = {{{streams.out[0], POLLIN, 0}, {streams.err[0], POLLIN, 0}}};
  std::array<std::string*, 2> into = {&result.out, &result.err};
  while (open[0].fd >= 0 || open[1].fd >= 0) {
    if (poll(open.data(), open.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail("poll");
    }
    for (std::size_t i = 0; i < open.size(); ++i) {
      if (open[i].fd >= 0 && open[i].revents != 0 && !ReadSome(open[i].fd, *into[i])) {
        close(open[i].fd);
        open[i].fd = -1;  // poll passes over it from now on
      }
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (streams.file >= 0) {
    lseek(streams.file, 0, SEEK_SET);
    while (ReadSome(streams.file, result.out)) {
    }
    close(streams.file);
    fs::remove(streams.fileName);
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace

fs::path ScratchPath(const std::string& name) {
  static const ScratchDirectory directory;
  return directory.path / name;
}

std::string BannerLines() {
  return texts::kBanner + "\r\n\r\n";
}

bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

FixtureProcess::FixtureProcess(std::vector<std::string> command) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    Fail("pipe");
  }
  pid = fork();
  if (pid < 0) {
    Fail("fork");
  }
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    std::vector<char*> argv = Argv(command);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  input = in[1];
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(out[0]);
  if (line != std::to_string(pid) + " ready") {
    throw std::runtime_error("the target " + command[0] + " did not start: [" + line + "]");
  }
}

FixtureProcess::~FixtureProcess() {
  Reap();
}

void FixtureProcess::Exit() {
  if (input >= 0) {
    close(input);
    input = -1;
  }
}

void FixtureProcess::Reap() {
  Exit();
  if (!reaped) {
    waitpid(pid, nullptr, 0);
    reaped = true;
  }
}

RunResult RunVmtally(const std::vector<std::string>& arguments, const RunOptions& options) {
  std::vector<std::string> words = options.wrapper;
  words.push_back(options.unprivileged ? PublicCopyOfVmtally() : VMTALLY_PATH);
  words.insert(words.end(), arguments.begin(), arguments.end());

  Streams streams = OpenStreams(options);
  const pid_t child = fork();
  if (child < 0) {
    Fail("fork");
  }
  if (child == 0) {
    ConnectStreams(options, streams);
    StartVmtally(options, std::move(words));
  }
  return Collect(child, streams);
}

}  // namespace vmtally::e2e
