#pragma once
// Folder and file search over FindFirstFileW / FindNextFileW, in the style the remover searches
// with: FindFile starts a search, each FindNextFile makes the next entry current and says whether
// a further one follows. Names are UTF-16, as the system stores them.
#include <windows.h>
#undef FindNextFile  // the member below keeps its own name, not the A/W macro

#include <string>

#include "Win32Handles.h"

namespace fw {

class FileFind {
 public:
  FileFind() = default;
  ~FileFind() = default;  // ends the search
  FileFind(const FileFind&) = delete;
  FileFind& operator=(const FileFind&) = delete;

  // Starts a search for `pattern` (a path, possibly with wildcards). False when nothing matches,
  // or when the pattern has 260 characters or more (the platform's name limit; nothing is
  // searched).
  bool FindFile(const std::wstring& pattern);
  // Makes the next entry current; true when yet another entry follows it.
  bool FindNextFile();
  void Close();

  // The attributes a search lists for `path` itself (no wildcards), or INVALID_FILE_ATTRIBUTES
  // when nothing is there. Unlike GetFileAttributes, this shows a link as a reparse point under
  // Wine too.
  static DWORD AttributesOf(const std::wstring& path);

 private:
  FindHandle handle_;
  WIN32_FIND_DATAW current_{};
  WIN32_FIND_DATAW next_{};
  bool hasNext_ = false;
};

}  // namespace fw
