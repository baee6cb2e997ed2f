// A process with a chosen number of mappings below 2 GiB, for timing surveys. It maps
// one stretch of N pages and gives every other page other rights, so that no two
// neighbours merge; prints its pid and "ready" and lives until its standard input
// closes. The end-to-end tests use it too, for a maps file longer than one read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const long regions = argc == 2 ? std::atol(argv[1]) : 0;
  if (regions <= 0 || regions > 65000) {
    std::fprintf(stderr, "usage: bench_target REGIONS (1 to 65000)\n");
    return 2;
  }
  const long page = sysconf(_SC_PAGESIZE);
  char* const base = reinterpret_cast<char*>(0x10000000);
  if (mmap(base, static_cast<size_t>(regions * page), PROT_READ,
           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE | MAP_NORESERVE, -1, 0) != base) {
    std::perror("mmap");
    return 1;
  }
  for (long i = 1; i < regions; i += 2) {
    if (mprotect(base + i * page, static_cast<size_t>(page), PROT_READ | PROT_WRITE) != 0) {
      std::perror("mprotect");
      return 1;
    }
  }
  std::printf("%d ready\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  char c;
  while (read(STDIN_FILENO, &c, 1) > 0) {
  }
  return 0;
}
