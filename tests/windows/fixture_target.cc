// A 32-bit Windows process for vmtally to survey. It reserves, commits and maps views at
// known places, prints its process id and "ready", then answers lines on standard input:
// "walk" prints what its own walk of its address space finds, in the form
//   <category> <count> <total> <minimum> <maximum>
// for each category, then "large <free regions of 65536 bytes or more>" and "end".
// It ends when its standard input closes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct Category {
  const char* name;
  DWORD key;
  bool byState;
  std::uint64_t count, total, minimum, maximum;
};

Category categories[] = {
    {"Commit", MEM_COMMIT, true, 0, 0, 0, 0},  {"Reserve", MEM_RESERVE, true, 0, 0, 0, 0},
    {"Free", MEM_FREE, true, 0, 0, 0, 0},      {"Private", MEM_PRIVATE, false, 0, 0, 0, 0},
    {"Mapped", MEM_MAPPED, false, 0, 0, 0, 0}, {"Image", MEM_IMAGE, false, 0, 0, 0, 0},
};

[[noreturn]] void Fail(const char* what) {
  std::printf("failed: %s (%lu)\n", what, GetLastError());
  std::fflush(stdout);
  ExitProcess(2);
}

void* At(std::uintptr_t address) {
  return reinterpret_cast<void*>(address);
}

void LayOutRegions() {
  // A reservation with two committed stretches in it.
  if (VirtualAlloc(At(0x30000000), 0x100000, MEM_RESERVE, PAGE_NOACCESS) != At(0x30000000) ||
      !VirtualAlloc(At(0x30000000), 0x10000, MEM_COMMIT, PAGE_READWRITE) ||
      !VirtualAlloc(At(0x30080000), 0x4000, MEM_COMMIT, PAGE_READONLY)) {
    Fail("reserve and commit");
  }
  if (VirtualAlloc(At(0x30200000), 0x20000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) !=
      At(0x30200000)) {
    Fail("commit");
  }
  // A committed view of a section backed by the paging file.
  const HANDLE section =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x40000, nullptr);
  if (section == nullptr ||
      MapViewOfFileEx(section, FILE_MAP_WRITE, 0, 0, 0, At(0x30400000)) != At(0x30400000)) {
    Fail("map view");
  }
  static_cast<volatile char*>(At(0x30400000))[0] = 1;
}

void Walk() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const auto end = reinterpret_cast<std::uintptr_t>(info.lpMaximumApplicationAddress);
  std::uint64_t large = 0;
  for (Category& c : categories) {
    c.count = c.total = c.minimum = c.maximum = 0;
  }
  std::uintptr_t address = 0;
  while (address < end) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(At(address), &region, sizeof region) == 0) {
      address += info.dwPageSize;
      continue;
    }
    for (Category& c : categories) {
      if ((c.byState ? region.State : region.Type) == c.key) {
        c.count += 1;
        c.total += region.RegionSize;
        if (c.minimum == 0 || region.RegionSize < c.minimum) {
          c.minimum = region.RegionSize;
        }
        if (region.RegionSize > c.maximum) {
          c.maximum = region.RegionSize;
        }
      }
    }
    if (region.State == MEM_FREE && region.RegionSize >= 65536) {
      ++large;
    }
    address += region.RegionSize;
  }
  for (const Category& c : categories) {
    std::printf("%s %llu %llu %llu %llu\n", c.name, static_cast<unsigned long long>(c.count),
                static_cast<unsigned long long>(c.total),
                static_cast<unsigned long long>(c.minimum),
                static_cast<unsigned long long>(c.maximum));
  }
  std::printf("large %llu\nend\n", static_cast<unsigned long long>(large));
  std::fflush(stdout);
}

}  // namespace

int main() {
  LayOutRegions();
  std::printf("%lu ready\n", GetCurrentProcessId());
  std::fflush(stdout);
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    if (std::strncmp(line, "walk", 4) == 0) {
      Walk();
    }
  }
  return 0;
}
