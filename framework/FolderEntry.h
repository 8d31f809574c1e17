#pragma once
// One entry of a folder listing, as the system's listing reported it.
#include <windows.h>

#include <cstdint>
#include <string>

namespace fw {

struct FolderEntry {
  std::wstring name;
  std::wstring shortName;  // the 8.3 name, where the file system keeps one
  DWORD attributes = 0;
  std::uint64_t id = 0;  // the file system's identity of the entry (file index / file id)

  bool IsDots() const { return name == L"." || name == L".."; }
  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

}  // namespace fw
