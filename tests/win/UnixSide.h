#pragma once
// Links for the link tests are made on the Linux side, as another account would make them: Wine
// itself cannot make a folder link, and follows links when it renames. Wine runs a Linux program
// started with CreateProcess, so a test can do this at the moment it chooses.
#include <windows.h>

#include <string>

namespace unixside {

// The Linux path of a Windows path of the prefix ("" when not under Wine).
inline std::string UnixPath(const std::wstring& windowsPath) {
  using Fn = char*(CDECL*)(LPCWSTR);
  const auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return "";
  char* unix = fn(windowsPath.c_str());
  if (!unix) return "";
  std::string path = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return path;
}

// Runs `script` with /bin/sh on the Linux side and waits until it has succeeded (true) or 20 s
// have passed. Wine neither waits for a Linux process nor reports its exit code, so the script
// leaves a marker file on success and the test waits for that.
inline bool Run(const std::string& script) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring marker = std::wstring(temp) + L"korvane-unix-done-" + std::to_wstring(GetCurrentProcessId());
  DeleteFileW(marker.c_str());
  const std::string markerUnix = UnixPath(marker);
  if (markerUnix.empty()) return false;
  const std::string full = "(" + script + ") && touch '" + markerUnix + "'";
  std::wstring command = L"/bin/sh -c \"";
  for (char c : full) {
    if (c == '"') command += L'\\';
    command += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  command += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int waited = 0; waited < 2000; ++waited) {
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileW(marker.c_str());
      return true;
    }
    Sleep(10);
  }
  return false;
}

// Single-quoted for the shell.
inline std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace unixside
