#include "FileFind.h"

#include "Win32Handles.h"

namespace fw {

DWORD AttributesOf(const std::wstring& path) {
  if (path.size() >= MAX_PATH) return INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW(path.c_str(), &found));
  return search ? found.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

}  // namespace fw
