#include "FileFind.h"

#include <cstring>

#include "Text.h"

namespace fw {

bool FileFind::FindFile(const std::string& pattern) {
  Close();
  if (pattern.size() >= MAX_PATH) {
    SetLastError(ERROR_BAD_ARGUMENTS);
    return false;
  }
  HANDLE h = FindFirstFileA(pattern.c_str(), &next_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_.reset(h);
  hasNext_ = true;

  // The root is the full path of the pattern's folder, so entries get full paths even when the
  // pattern was relative. A fully qualified pattern is its own root (no system call per search:
  // the remover searches once for every file it deletes).
  root_ = pattern;
  if (!IsFullyQualified(pattern)) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(pattern.c_str(), MAX_PATH, full, nullptr);
    if (n > 0 && n < MAX_PATH) root_.assign(full, n);
  }
  const auto cut = FindLastBackslash(root_);
  root_.resize(cut == std::string::npos ? 0 : cut);
  return true;
}

bool FileFind::FindNextFile() {
  if (!hasNext_) return false;
  current_ = next_;
  hasNext_ = ::FindNextFileA(handle_.get(), &next_) != FALSE;
  return hasNext_;
}

void FileFind::Close() {
  handle_.reset();
  hasNext_ = false;
  current_ = {};
  root_.clear();
}

bool FileFind::IsDots() const {
  return std::strcmp(current_.cFileName, ".") == 0 || std::strcmp(current_.cFileName, "..") == 0;
}

bool FileFind::MatchesMask(DWORD attributes) const { return (current_.dwFileAttributes & attributes) != 0; }

DWORD FileFind::AttributesOf(const std::string& path) {
  FileFind finder;
  if (!finder.FindFile(path)) return INVALID_FILE_ATTRIBUTES;
  finder.FindNextFile();
  return finder.current_.dwFileAttributes;
}

std::string FileFind::GetFileName() const { return current_.cFileName; }

std::string FileFind::GetFilePath() const { return WithTrailingBackslash(root_) + current_.cFileName; }

}  // namespace fw
