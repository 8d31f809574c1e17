#include "FileFind.h"

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
}

DWORD FileFind::AttributesOf(const std::wstring& path) {
  FileFind finder;
  if (!finder.FindFile(path)) return INVALID_FILE_ATTRIBUTES;
  finder.FindNextFile();
  return finder.current_.dwFileAttributes;
}

}  // namespace fw
