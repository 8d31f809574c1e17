#include "SystemPaths.h"

#include <windows.h>

namespace fw {

std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring SystemWindowsFolder() {
  wchar_t path[MAX_PATH + 1];
  const UINT n = GetSystemWindowsDirectoryW(path, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return L"";
  std::wstring folder(path, n);
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring LongPathOf(const std::wstring& path) {
  const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return L"";
  std::wstring out(needed, L'\0');
  const DWORD n = GetLongPathNameW(path.c_str(), out.data(), needed);
  if (n == 0 || n >= needed) return L"";
  out.resize(n);
  return out;
}

}  // namespace fw
