// A stand-in remover for launcher tests: records that it was started, from where and in which
// current folder, in the file named by KORVANE_STUB_LOG (inherited from the test).
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char log[MAX_PATH], module[MAX_PATH], cwd[MAX_PATH];
  if (!GetEnvironmentVariableA("KORVANE_STUB_LOG", log, MAX_PATH)) return 1;
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, cwd);
  const std::string text = std::string("started\n") + module + "\n" + cwd + "\n";
  HANDLE h = CreateFileA(log, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  return 0;
}
