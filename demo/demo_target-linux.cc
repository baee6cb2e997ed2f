// A demo process whose low 2 GiB look like a 32-bit program's: an executable image
// with its sections at 0x00400000, two libraries above it, three heaps, thread stacks
// reserved with a committed top, a mapped data file, and free blocks of assorted sizes
// in between. The images are this program's own file, mapped again. Prints its pid and
// "ready", then lives until its standard input closes.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kMiB = 1024 * kKiB;

int self = -1;

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::exit(1);
}

void Map(std::uint32_t address, std::uint32_t size, int protection, int flags, int fd,
         off_t offset) {
  void* want = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
  if (mmap(want, size, protection, flags | MAP_FIXED_NOREPLACE, fd, offset) != want) {
    Fail("mmap");
  }
}

void Reserve(std::uint32_t address, std::uint32_t size) {
  Map(address, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
}

void Commit(std::uint32_t address, std::uint32_t size, int protection = PROT_READ | PROT_WRITE) {
  if (mprotect(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), size, protection) !=
      0) {
    Fail("mprotect");
  }
}

// An image as a loader lays it out: headers, code, read-only data, data and zero-filled
// data, each a mapping of its own, with the image file behind all but the last.
void Image(std::uint32_t base, std::uint32_t code, std::uint32_t rodata, std::uint32_t data) {
  std::uint32_t at = base;
  Map(at, 4 * kKiB, PROT_READ, MAP_PRIVATE, self, 0);
  at += 4 * kKiB;
  Map(at, code, PROT_READ | PROT_EXEC, MAP_PRIVATE, self, 0);
  at += code;
  Map(at, rodata, PROT_READ, MAP_PRIVATE, self, 0);
  at += rodata;
  Map(at, data, PROT_READ | PROT_WRITE, MAP_PRIVATE, self, 0);
  at += data;
  Map(at, 16 * kKiB, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

// A heap: a reservation whose first part is committed.
void Heap(std::uint32_t base, std::uint32_t reserved, std::uint32_t committed) {
  Reserve(base, reserved);
  Commit(base, committed);
}

// A thread stack: a reservation whose top is committed, below it a guard page.
void Stack(std::uint32_t base, std::uint32_t reserved, std::uint32_t committed) {
  Reserve(base, reserved);
  Commit(base + reserved - committed, committed);
  Commit(base + reserved - committed - 4 * kKiB, 4 * kKiB, PROT_READ);
}

}  // namespace

int main() {
  self = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (self < 0) {
    Fail("/proc/self/exe");
  }
  Image(0x00400000, 384 * kKiB, 96 * kKiB, 32 * kKiB);   // the program
  Image(0x10000000, 1 * kMiB, 256 * kKiB, 64 * kKiB);    // a library
  Image(0x10200000, 512 * kKiB, 128 * kKiB, 16 * kKiB);  // another

  Heap(0x00520000, 1 * kMiB, 192 * kKiB);  // the process heap
  Heap(0x00700000, 4 * kMiB, 1 * kMiB);    // a second heap
  Heap(0x02000000, 16 * kMiB, 64 * kKiB);  // a large, mostly reserved heap

  Stack(0x00030000, 1 * kMiB, 16 * kKiB);  // the main thread
  Stack(0x00C00000, 1 * kMiB, 8 * kKiB);   // two more threads
  Stack(0x00D10000, 256 * kKiB, 8 * kKiB);

  // A data file mapped for reading.
  char name[] = "/tmp/vmtally-demo-XXXXXX";
  const int data = mkstemp(name);
  if (data < 0 || unlink(name) != 0 || ftruncate(data, 3 * kMiB) != 0) {
    Fail("data file");
  }
  Map(0x04000000, 3 * kMiB, PROT_READ, MAP_SHARED, data, 0);

  std::printf("%d ready\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  char c;
  while (read(STDIN_FILENO, &c, 1) > 0) {
  }
  return 0;
}
