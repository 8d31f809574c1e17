#include "StagingFolder.h"

#include <windows.h>
#include <sddl.h>

#include <cwctype>

#include "Win32Handles.h"

namespace {

// The folders' names: this prefix and 16 hexadecimal digits.
constexpr wchar_t kPrefix[] = L"~uninst.korvane.";
constexpr wchar_t kStagedName[] = L"~uninst.exe";

bool HasPrefix(const wchar_t* name) {
  for (const wchar_t* p = kPrefix; *p; ++p, ++name)
    if (std::towlower(*name) != *p) return false;
  return true;
}

// Marks `path` for deletion through a handle asking for delete access and sharing nothing: it
// opens only when no other handle to the file is open without delete sharing. False when such a
// handle is open.
bool DeleteUnlessHeld(const std::wstring& path) {
  const fw::FileHandle file(
      CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return GetLastError() != ERROR_SHARING_VIOLATION;
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
  return true;
}

// Different for every call in the process, and unlikely to repeat across processes; uniqueness
// itself comes from CreateDirectoryW, which fails for a name that exists.
std::wstring NewFolderName() {
  static unsigned calls = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  unsigned long long value = static_cast<unsigned long long>(now.QuadPart) * 0x9E3779B97F4A7C15ull;
  value ^= (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ ++calls;
  std::wstring name = kPrefix;
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(value >> shift) & 0xF];
  return name;
}

}  // namespace

EarlierStarts ClearEarlierStarts(const std::wstring& windowsFolder) {
  EarlierStarts found = EarlierStarts::Ended;
  WIN32_FIND_DATAW data;
  const fw::FindHandle search(FindFirstFileExW((windowsFolder + L"\\" + kPrefix + L"*").c_str(), FindExInfoBasic, &data,
                                               FindExSearchNameMatch, nullptr, 0));
  if (!search) return found;
  do {
    // Only the folders this launcher makes: no link, and the name as it makes them (a pattern
    // also matches short names).
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !HasPrefix(data.cFileName))
      continue;
    const std::wstring folder = windowsFolder + L"\\" + data.cFileName;
    if (!DeleteUnlessHeld(folder + L"\\" + kStagedName)) {
      found = EarlierStarts::Running;
      continue;
    }
    RemoveDirectoryW(folder.c_str());  // fails, and keeps it, when anything else is in it
  } while (FindNextFileW(search.get(), &data));
  return found;
}

StagingFolder::StagingFolder(const std::wstring& windowsFolder) {
  // Administrators and the system: full control; nobody else anything. Not inherited from the
  // Windows folder, whose own list lets users read and run what is in it: a user who could open
  // the staged file could hold it and pass for a running remover.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return;
  const fw::LocalMemory owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::wstring path = windowsFolder + L"\\" + NewFolderName();
    if (CreateDirectoryW(path.c_str(), &attributes)) {
      path_ = path;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

StagingFolder::~StagingFolder() {
  if (kept_ || path_.empty()) return;
  fw::LastErrorKeeper keep;
  DeleteFileW(StagedFile().c_str());
  RemoveDirectoryW(path_.c_str());
}

std::wstring StagingFolder::StagedFile() const { return path_ + L"\\" + kStagedName; }
