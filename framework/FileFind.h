#pragma once
// What a folder search (FindFirstFileW) lists for one path.
#include <windows.h>

#include <string>

namespace fw {

// The attributes a search lists for `path` itself (no wildcards), or INVALID_FILE_ATTRIBUTES when
// nothing is there or the path has 260 characters or more (the platform's name limit; nothing is
// searched). Unlike GetFileAttributes, this shows a link as a reparse point under Wine too.
DWORD AttributesOf(const std::wstring& path);

}  // namespace fw
