// The launcher's one piece of work: stage the remover in the temporary folder and start it.
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string_view>

#include "Dialog.h"
#include "FileFind.h"
#include "Staging.h"
#include "UninstDlg.h"
#include "Win32Handles.h"
#include "resource.h"

namespace {

enum class Creation { Created, HeldByRunningCopy, Failed };

// Creates "~uninst.exe" write-only, replacing a file of that name. The launcher runs elevated
// and writes into the user's temporary folder, so it never writes through a link: a link of that
// name is removed first, and the file is opened as the reparse point itself should one appear in
// between. A folder of that name is a failure.
Creation CreateStagedFile(const std::string& path, fw::File& staged) {
  const DWORD attributes = fw::FileFind::AttributesOf(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!(folder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))) return Creation::Failed;
    } else if (folder) {
      return Creation::Failed;
    }
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? Creation::HeldByRunningCopy : Creation::Failed;
  staged.Attach(reinterpret_cast<std::intptr_t>(h));
  return Creation::Created;
}

std::optional<std::string_view> RemoverImage() {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(IDR_UNINSTALLER), "UNINSTALLER");
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(self, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), SizeofResource(self, found));
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

int Stage() {
  char own[MAX_PATH];
  const DWORD ownLength = GetModuleFileNameA(nullptr, own, MAX_PATH);
  own[ownLength < MAX_PATH ? ownLength : MAX_PATH - 1] = '\0';
  fw::File source;
  if (!source.Open(own, fw::File::Mode::Read)) return 1;  // another launcher holds it
  const auto trailer = payload::ReadTrailer(source);
  if (!trailer || !trailer->IsValid()) return 0;

  char temp[MAX_PATH];
  const DWORD tempLength = GetTempPathA(MAX_PATH, temp);
  if (tempLength == 0 || tempLength >= MAX_PATH) return 0;
  const std::string stagedPath = std::string(temp) + "~uninst.exe";

  fw::File staged;
  switch (CreateStagedFile(stagedPath, staged)) {
    case Creation::HeldByRunningCopy:
      // A remover from an earlier start is still running, and is on screen: nothing to do.
      payload::ReadRecordsThrough(source, *trailer);
      return 1;
    case Creation::Failed:
      return 0;
    case Creation::Created:
      break;
  }

  const auto image = RemoverImage();
  if (!image) {
    fw::AppMessageBox(nullptr, L"系统资源缺失，请重新安装!", MB_OK);
    return 0;  // the empty "~uninst.exe" stays behind
  }

  BY_HANDLE_FILE_INFORMATION written{};
  try {
    payload::WriteStagedRemover(source, *trailer, *image, staged);
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(staged.NativeHandle()), &written))
      throw fw::FileError("cannot identify the staged file");
  } catch (const std::exception&) {
    staged.Close();
    DeleteFileA(stagedPath.c_str());  // never leave a half-written remover to be started later
    return 0;
  }
  staged.Close();
  source.Close();

  // Hold the file, read-only with writers shut out, until the start has been issued, and make
  // sure it is still the file just written.
  fw::FileHandle held(CreateFileA(stagedPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION reopened{};
  if (!held || !GetFileInformationByHandle(held.get(), &reopened) || !SameFile(written, reopened)) return 0;

  SetCurrentDirectoryA(temp);
  SHELLEXECUTEINFOA start{};
  start.cbSize = sizeof(start);  // the platform's own size (not the 32-bit 60)
  start.fMask = SEE_MASK_FLAG_NO_UI;
  start.lpVerb = "open";
  start.lpFile = stagedPath.c_str();
  start.nShow = SW_SHOWNORMAL;
  // A remover that cannot be started is a failed uninstall: the failure dialog says so.
  return ShellExecuteExA(&start) ? 1 : 0;
}

}  // namespace

int StageAndLaunchRemover() {
  try {
    return Stage();
  } catch (...) {
    return 0;  // a damaged record archive or a failed read: the failure dialog stays
  }
}
