// A demo process for the Windows build: besides its own image and the system's DLLs it
// creates two more heaps, two threads with 1 MiB stacks, a mapped data file and a large
// reservation with a little of it committed. Prints its process id and "ready", then
// lives until its standard input closes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr SIZE_T kMiB = 1024 * 1024;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
  std::exit(1);
}

DWORD WINAPI Wait(void* event) {
  WaitForSingleObject(event, INFINITE);
  return 0;
}

}  // namespace

int main() {
  for (SIZE_T maximum : {4 * kMiB, 16 * kMiB}) {
    const HANDLE heap = HeapCreate(0, 256 * 1024, maximum);
    if (heap == nullptr || HeapAlloc(heap, 0, 100 * 1024) == nullptr) {
      Fail("HeapCreate");
    }
  }

  const HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < 2; ++i) {
    if (CreateThread(nullptr, kMiB, Wait, never, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr) ==
        nullptr) {
      Fail("CreateThread");
    }
  }

  char directory[MAX_PATH];
  char name[MAX_PATH];
  if (GetTempPathA(MAX_PATH, directory) == 0 || GetTempFileNameA(directory, "vmt", 0, name) == 0) {
    Fail("GetTempFileName");
  }
  const HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("CreateFile");
  }
  const HANDLE section =
      CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(3 * kMiB), nullptr);
  if (section == nullptr || MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) == nullptr) {
    Fail("MapViewOfFile");
  }

  void* reservation = VirtualAlloc(nullptr, 64 * kMiB, MEM_RESERVE, PAGE_NOACCESS);
  if (reservation == nullptr ||
      VirtualAlloc(reservation, kMiB, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
    Fail("VirtualAlloc");
  }

  std::printf("%lu ready\n", GetCurrentProcessId());
  std::fflush(stdout);
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
  }
  return 0;
}
