#include "StagingFolder.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "FileObject.h"
#include "Staging.h"
#include "Win32Handles.h"

namespace {

using payload::kStagedName;
constexpr const wchar_t* kPrefix = payload::kStagingFolderPrefix;
constexpr DWORD kStartLockWaitMs = 10000;

// This process's session; 0, the services' session, when the system cannot say.
DWORD Session() {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsLowerHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f'); }

// The session a staging folder's name gives, or nullopt for a name this launcher never makes.
std::optional<DWORD> SessionOf(const std::wstring& name) {
  const std::wstring_view prefix = kPrefix;
  if (name.size() < prefix.size() + 18 || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::wstring_view rest = std::wstring_view(name).substr(prefix.size());
  const std::wstring_view digits = rest.substr(0, rest.size() - 17), hex = rest.substr(rest.size() - 16);
  if (rest[digits.size()] != L'.' || digits.empty() || digits.size() > 10 ||
      !std::all_of(digits.begin(), digits.end(), IsDigit) || !std::all_of(hex.begin(), hex.end(), IsLowerHexDigit))
    return std::nullopt;
  const unsigned long long session = std::stoull(std::wstring(digits));
  return session <= 0xFFFFFFFFull ? std::optional<DWORD>(static_cast<DWORD>(session)) : std::nullopt;
}

// Different for every call in the process, and unlikely to repeat across processes; uniqueness
// itself comes from CreateDirectoryW, which fails for a name that exists.
std::wstring NewFolderName() {
  static unsigned calls = 0;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  unsigned long long value = static_cast<unsigned long long>(now.QuadPart) * 0x9E3779B97F4A7C15ull;
  value ^= (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ ++calls;
  std::wstring name = kPrefix + std::to_wstring(Session()) + L".";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(value >> shift) & 0xF];
  return name;
}

// Whether the earlier start in `entry` of `windows` is under way or still runs; otherwise its
// staged file and then the folder itself are removed. A folder without a staged file is left as
// it is: a start of another session may have just made it. What cannot be removed (anything else
// in the folder, a file the system will not delete) stays, and the next start tries again.
bool UnderWay(const fw::FileObject& windows, const fw::FolderEntry& entry) {
  if (windows.InUse(entry)) return true;  // a launcher's or a remover's current folder
  const fw::FileObject folder = windows.OpenSubfolder(entry);
  if (!folder || folder.IsReparsePoint() || !folder.HoldsListed(entry)) return false;
  const auto staged = folder.Find(kStagedName);
  if (!staged || staged->IsFolder() || staged->IsLink()) return false;
  if (folder.InUse(*staged)) return true;  // a running remover's image, or its file held
  if (folder.DeleteFileEntry(*staged)) folder.MarkForDeletion();
  return false;
}

}  // namespace

StartLock::StartLock(const fw::FileObject& windowsFolder) {
  const fw::LocalMemory descriptor = fw::AdministratorsOnly(/*folder=*/false);
  if (!descriptor) return;
  const std::wstring name = kPrefix + std::to_wstring(Session()) + L".lock";
  for (DWORD waited = 0;; waited += 10) {
    bool heldElsewhere = false;
    lock_ = windowsFolder.HoldAlone(name, descriptor.get(), heldElsewhere);
    if (lock_ || !heldElsewhere || waited >= kStartLockWaitMs) return;
    Sleep(10);
  }
}

EarlierStarts ClearEarlierStarts(const fw::FileObject& windowsFolder) {
  const DWORD session = Session();
  EarlierStarts found = EarlierStarts::Ended;
  for (const fw::FolderEntry& entry : windowsFolder.List()) {
    const auto of = SessionOf(entry.name);
    if (!of || !entry.IsFolder() || entry.IsLink()) continue;
    if (UnderWay(windowsFolder, entry) && *of == session) found = EarlierStarts::Running;
  }
  return found;
}

StagingFolder::StagingFolder(const fw::FileObject& windowsFolder, const std::wstring& windowsPath)
    : windowsPath_(windowsPath) {
  const fw::LocalMemory descriptor = fw::AdministratorsOnly(/*folder=*/true);
  if (!descriptor) return;
  // A name that exists, a link's included, fails; another is tried.
  for (int attempt = 0; attempt < 16 && !folder_; ++attempt) {
    const std::wstring name = NewFolderName();
    folder_ = windowsFolder.CreateFolder(name, descriptor.get());
    if (folder_) path_ = windowsPath + L"\\" + name;
  }
}

StagingFolder::~StagingFolder() {
  if (kept_ || !folder_) return;
  fw::LastErrorKeeper keep;
  // The folder is this process's current folder since the start began, and a current folder
  // cannot be removed: the Windows folder is the current folder from here on.
  SetCurrentDirectoryW(windowsPath_.c_str());
  // The staged file as the folder lists it, proven to be that entry before it is marked (a link
  // goes as the link itself, and a system that follows it anyway leaves its target alone); then
  // the folder itself through the handle held, once empty.
  if (const auto staged = folder_.Find(kStagedName); staged && !staged->IsFolder()) folder_.DeleteFileEntry(*staged);
  if (const fw::FileObject self = folder_.ReopenForDeletion()) self.MarkForDeletion();
}

std::wstring StagingFolder::StagedFile() const { return path_ + L"\\" + kStagedName; }

fw::File StagingFolder::CreateStaged() const {
  const fw::LocalMemory descriptor = fw::AdministratorsOnly(/*folder=*/false);
  return descriptor ? folder_.CreateNewFile(kStagedName, descriptor.get()) : fw::File();
}

fw::File StagingFolder::OpenStaged() const {
  fw::FolderEntry staged;
  staged.name = kStagedName;
  return folder_.OpenFileForReading(staged);
}
