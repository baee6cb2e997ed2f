// A process with a known address space for vmtally to survey. It maps the regions of
// fixture_layout.h (the two files, made in the directory it is given, are unlinked once
// mapped), prints its pid and "ready", and lives until its standard input closes.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixture_layout.h"

namespace {

using vmtally::fixture::Kind;

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::exit(2);
}

int MakeFile(const std::string& path, std::uint32_t size) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || ftruncate(fd, size) != 0 || unlink(path.c_str()) != 0) {
    Fail(path.c_str());
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fixture_target DIRECTORY\n");
    return 2;
  }
  const std::string prefix = std::string(argv[1]) + "/vmtally fixture " + std::to_string(getpid());
  const int image = MakeFile(prefix + " image", vmtally::fixture::kImageFileSize);
  const int data = MakeFile(prefix + " data", vmtally::fixture::kDataFileSize);

  for (const vmtally::fixture::Mapping& m : vmtally::fixture::kMappings) {
    int protection = PROT_READ | PROT_WRITE;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    int fd = -1;
    switch (m.kind) {
      case Kind::kPrivate:
        break;
      case Kind::kReserved:
        protection = PROT_NONE;
        flags |= MAP_NORESERVE;
        break;
      case Kind::kSharedFile:
        flags = MAP_SHARED;
        fd = data;
        break;
      case Kind::kImageCode:
        protection = PROT_READ | PROT_EXEC;
        flags = MAP_PRIVATE;
        fd = image;
        break;
      case Kind::kImageData:
        protection = PROT_READ;
        flags = MAP_PRIVATE;
        fd = image;
        break;
      case Kind::kImageGap:
        protection = PROT_NONE;
        flags = MAP_PRIVATE;
        fd = image;
        break;
      case Kind::kSharedAnon:
        flags = MAP_SHARED | MAP_ANONYMOUS;
        break;
    }
    void* want = reinterpret_cast<void*>(static_cast<std::uintptr_t>(m.address));
    void* got = mmap(want, m.size, protection, flags | MAP_FIXED_NOREPLACE, fd, m.fileOffset);
    if (got != want) {
      Fail("mmap");
    }
  }
  close(image);
  close(data);

  std::printf("%d ready\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  char c;
  while (read(STDIN_FILENO, &c, 1) > 0) {
  }
  return 0;
}
