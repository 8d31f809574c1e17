// A DLL planted beside the programs under the name of a system DLL that is not a KnownDLL. If a
// program ever loads it, it leaves a marker file in C:\korvane-dll-markers naming itself and the
// program, then refuses to load so that the real DLL is used.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char dll[MAX_PATH] = {}, exe[MAX_PATH] = {};
  GetModuleFileNameA(self, dll, MAX_PATH);
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  CreateDirectoryA("C:\\korvane-dll-markers", nullptr);
  std::string name = dll;
  name = name.substr(name.find_last_of('\\') + 1);
  const std::string marker =
      "C:\\korvane-dll-markers\\" + name + "-" + std::to_string(GetCurrentProcessId()) + ".txt";
  HANDLE h = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    const std::string text = std::string(dll) + " loaded by " + exe + "\r\n";
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
  }
  return FALSE;
}
