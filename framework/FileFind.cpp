#include "FileFind.h"

#include <cwchar>

#include "FileObject.h"
#include "Text.h"

namespace fw {
bool FileFind::FindFile(const std::wstring& pattern) {
  Close();
  if (pattern.size() >= MAX_PATH) {
    SetLastError(ERROR_BAD_ARGUMENTS);
    return false;
  }
  HANDLE h = FindFirstFileW(pattern.c_str(), &next_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_.reset(h);
  hasNext_ = true;

  // The root is the full path of the pattern's folder, so entries get full paths even when the
  // pattern was relative. A fully qualified pattern is its own root (no system call per search:
  // the remover searches once for every file it deletes).
  root_ = IsFullyQualified(pattern) ? pattern : FullPathOf(pattern);
  const auto cut = root_.find_last_of(L"\\/");
  root_.resize(cut == std::wstring::npos ? 0 : cut);
  return true;
}

bool FileFind::FindNextFile() {
  if (!hasNext_) return false;
  current_ = next_;
  hasNext_ = ::FindNextFileW(handle_.get(), &next_) != FALSE;
  return hasNext_;
}

void FileFind::Close() {
  handle_.reset();
  hasNext_ = false;
  current_ = {};
  root_.clear();
}

bool FileFind::IsDots() const {
  return std::wcscmp(current_.cFileName, L".") == 0 || std::wcscmp(current_.cFileName, L"..") == 0;
}

bool FileFind::MatchesMask(DWORD attributes) const { return (current_.dwFileAttributes & attributes) != 0; }

DWORD FileFind::AttributesOf(const std::wstring& path) {
  FileFind finder;
  if (!finder.FindFile(path)) return INVALID_FILE_ATTRIBUTES;
  finder.FindNextFile();
  return finder.current_.dwFileAttributes;
}

std::wstring FileFind::GetFileName() const { return current_.cFileName; }

std::wstring FileFind::GetFilePath() const { return root_ + L"\\" + current_.cFileName; }

}  // namespace fw
