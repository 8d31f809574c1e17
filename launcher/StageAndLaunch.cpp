// The launcher's one piece of work: stage the remover in the temporary folder and start it.
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>

#include "Dialog.h"
#include "File.h"
#include "FileFind.h"
#include "Records.h"
#include "Staging.h"
#include "StageAndLaunch.h"
#include "SystemPaths.h"
#include "Trailer.h"
#include "Win32Handles.h"
#include "resource.h"

namespace {

enum class Check { Free, HeldByRunningCopy, Failed };

// How long the launcher holds the staged file for a remover that has not shown its window yet.
constexpr DWORD kRemoverHoldsItsFileMs = 10000;

// Whether "~uninst.exe" may be replaced. A remover started earlier and still running holds its
// file (sharing violation): there is nothing to do then. A folder of that name is a failure. A
// link of that name is removed; should that fail, the final rename still replaces the link itself
// rather than what it points to.
Check CheckStagedName(const std::wstring& path) {
  const DWORD attributes = fw::AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Check::Free;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    return Check::Free;
  }
  if (folder) return Check::Failed;
  // Opened for writing without truncating: changes nothing, but meets a running copy's hold.
  fw::FileHandle probe(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return Check::HeldByRunningCopy;
  return Check::Free;
}

// Creates a new file of a name of its own beside "~uninst.exe" (CREATE_NEW never opens anything
// that already exists, links included). The staged remover is written there and renamed into
// place, so nothing is ever written through a link planted in the user's temporary folder.
bool CreateWorkFile(const std::wstring& tempFolder, std::wstring& workPath, fw::File& work) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    workPath = tempFolder + L"~uninst." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt) + L".tmp";
    if (work.Open(workPath, fw::File::Mode::CreateNew)) return true;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

std::optional<std::string_view> RemoverImage() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(IDR_UNINSTALLER), L"UNINSTALLER");
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(self, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), SizeofResource(self, found));
}

int Stage() {
  fw::File source;
  if (!source.Open(fw::OwnPath(), fw::File::Mode::Read)) return 1;  // another launcher holds it
  const auto trailer = payload::ReadTrailer(source);
  if (!trailer || !trailer->IsValid()) return 0;
  // A signed launcher carries its payload inside what the signature covers. One appended behind
  // a signed image is not the vendor's signed file: it is refused like a missing payload.
  if (trailer->signature == payload::Signature::ImageOnly) return 0;

  const std::wstring temp = fw::TempFolder();
  if (temp.empty()) return 0;
  const std::wstring stagedPath = temp + L"~uninst.exe";

  switch (CheckStagedName(stagedPath)) {
    case Check::HeldByRunningCopy:
      // A remover from an earlier start is still running, and is on screen: nothing to do.
      {
        payload::RecordVisitor check;
        payload::ReadRecords(source, *trailer, check);
      }
      return 1;
    case Check::Failed:
      return 0;
    case Check::Free:
      break;
  }

  std::wstring workPath;
  fw::File work;
  if (!CreateWorkFile(temp, workPath, work)) return 0;
  const auto image = RemoverImage();
  if (!image) {
    work.Close();
    DeleteFileW(workPath.c_str());
    fw::AppMessageBox(nullptr, L"系统资源缺失，请重新安装!", MB_OK);
    return 0;
  }

  fw::FileId written;
  try {
    payload::WriteStagedRemover(source, *trailer, *image, work);
    written = work.Id();
  } catch (const std::exception&) {
    work.Close();
    DeleteFileW(workPath.c_str());  // never leave a half-written remover behind
    return 0;
  }
  work.Close();
  source.Close();
  if (!MoveFileExW(workPath.c_str(), stagedPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(workPath.c_str());
    return 0;
  }

  // Hold the file, read-only with writers shut out, until the start has been issued, and make
  // sure it is still the file just written.
  fw::File held;
  if (!held.Open(stagedPath, fw::File::Mode::ReadHeld) || held.Id() != written) return 0;

  SetCurrentDirectoryW(temp.c_str());
  SHELLEXECUTEINFOW start{};
  start.cbSize = sizeof(start);  // the platform's own size (60 bytes in the x86 build)
  start.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
  start.lpVerb = L"open";
  start.lpFile = stagedPath.c_str();
  start.nShow = SW_SHOWNORMAL;
  // A remover that cannot be started is a failed uninstall: the failure dialog says so.
  if (!ShellExecuteExW(&start)) return 0;
  if (start.hProcess) {
    // The file stays held until the remover waits for the user, by which time it holds the file
    // itself (it opens it before its dialog shows): nobody swaps it in between. Not forever: a
    // remover that never gets that far leaves the launcher free to quit.
    WaitForInputIdle(start.hProcess, kRemoverHoldsItsFileMs);
    CloseHandle(start.hProcess);
  }
  return 1;
}

}  // namespace

int StageAndLaunchRemover() {
  try {
    return Stage();
  } catch (...) {
    return 0;  // a damaged record archive or a failed read: the failure dialog stays
  }
}
