// A small Windows console program that says what it runs as, for the guest's self-test:
//   probe.exe            prints "ptr=<sizeof(void*)> wow64=<0|1> syswow64=<0|1>", returns 42
// Built with i686-w64-mingw32-g++-posix -static, so it is a PE32 program that needs no DLLs
// beyond Windows' own.
#include <windows.h>

#include <cstdio>

int main() {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) {
    std::printf("IsWow64Process failed: %lu\n", GetLastError());
    return 1;
  }
  char dir[MAX_PATH];
  // A 32-bit prefix has no SysWOW64 folder: the call fails there (ERROR_CALL_NOT_IMPLEMENTED).
  const bool syswow64 = GetSystemWow64DirectoryA(dir, sizeof dir) != 0;
  std::printf("ptr=%u wow64=%d syswow64=%d\n", static_cast<unsigned>(sizeof(void*)), wow64 ? 1 : 0,
              syswow64 ? 1 : 0);
  std::fflush(stdout);
  return 42;
}
