#pragma once
// Payload paths at the system's door, for the remover's work.
#include <string>

#include "FileFind.h"
#include "WideText.h"

namespace uninstaller {

// A GBK path or name of the payload as the system takes it; "" (which names nothing) for text
// that is not GBK.
inline std::wstring Wide(const std::string& gbk) { return fw::GbkToWide(gbk).value_or(L""); }

// Whether a search for `path` (a name, or a pattern such as "folder\\*.*") finds anything.
inline bool Found(const std::wstring& path) {
  fw::FileFind finder;
  return !path.empty() && finder.FindFile(path);
}

}  // namespace uninstaller
