// The launcher's one piece of work: stage the remover in a folder of its own and start it.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "Dialog.h"
#include "File.h"
#include "FileObject.h"
#include "Records.h"
#include "Sha256.h"
#include "Staging.h"
#include "StageAndLaunch.h"
#include "StagingFolder.h"
#include "SystemPaths.h"
#include "Trailer.h"
#include "Win32Handles.h"
#include "resource.h"

namespace {

// How long the launcher holds the staged file for a remover that has not shown its window yet.
constexpr DWORD kRemoverHoldsItsFileMs = 10000;

std::optional<std::string_view> RemoverImage() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(IDR_UNINSTALLER), L"UNINSTALLER");
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(self, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), SizeofResource(self, found));
}

// Starts `staged` with no arguments, in `folder`, shown normally. CreateProcessW and not the
// shell: the shell would look up what "open" means for a program in the classes, where the user's
// own keys (HKCU\Software\Classes) take part even for an elevated caller. The launcher runs with
// administrator rights, which the remover inherits.
fw::KernelHandle Start(const std::wstring& staged, const std::wstring& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  std::wstring commandLine = L"\"" + staged + L"\"";
  if (!CreateProcessW(staged.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &started))
    return {};
  const fw::KernelHandle thread(started.hThread);
  return fw::KernelHandle(started.hProcess);
}

int Stage(HWND owner) {
  // The launcher's own file, proven to be the image it runs from (a file put under its name since
  // it started fails) and held so that nobody writes, deletes or renames it. The trailer and the
  // records are read through this handle only.
  fw::File source;
  if (!source.Open(fw::OwnPath(), fw::File::Mode::OwnImage)) return 0;
  const auto trailer = payload::ReadTrailer(source);
  if (!trailer || !trailer->IsValid()) return 0;
  // A signed launcher carries its payload inside what the signature covers. One appended behind
  // a signed image is not the vendor's signed file: it is refused like a missing payload.
  if (trailer->signature == payload::Signature::ImageOnly) return 0;

  const std::wstring windowsPath = fw::SystemWindowsFolder();
  if (windowsPath.empty()) return 0;
  const fw::FileObject windows = fw::FileObject::OpenFolder(windowsPath);
  // Of two starts made at once, the second waits here until the first has made its folder its
  // current folder, and then finds it under way.
  StartLock lock(windows);
  if (!lock.Held()) return 0;
  if (ClearEarlierStarts(windows) == EarlierStarts::Running) {
    // A start of this session is under way, or its remover still runs and is on screen: nothing
    // to do.
    lock.Release();
    payload::RecordVisitor check;
    payload::ReadRecords(source, *trailer, check);
    return 1;
  }
  const auto image = RemoverImage();
  if (!image) {
    lock.Release();
    fw::AppMessageBox(owner, L"系统资源缺失，请重新安装!", MB_OK);
    return 0;
  }

  StagingFolder folder(windows, windowsPath);
  if (!folder.Made()) return 0;
  // The launcher's current folder from here on, and then its remover's: while a start is under
  // way or its remover runs, the folder cannot be removed, which tells a second start so.
  if (!SetCurrentDirectoryW(folder.Path().c_str())) return 0;
  lock.Release();
  fw::FileId written;
  fw::Sha256Digest digest;
  {
    fw::File work = folder.CreateStaged();
    if (!work.IsOpen()) return 0;
    digest = payload::WriteStagedRemover(source, *trailer, *image, work);  // throws on a damaged archive
    written = work.Id();
  }
  source.Close();

  // The file is held, read-only with writers shut out, from before the start until the remover
  // holds it itself; and it must hold the bytes written: whatever was written to it when the
  // writing handle let go shows in the digest, read back through the handle held.
  fw::File held = folder.OpenStaged();
  if (!held.IsOpen() || held.Id() != written || fw::ContentDigest(held) != digest) return 0;
  const fw::KernelHandle remover = Start(folder.StagedFile(), folder.Path());
  // A remover that cannot be started is a failed uninstall: the failure dialog says so.
  if (!remover) return 0;
  folder.Keep();
  // The remover opens its own file before its dialog shows; not forever: a remover that never
  // gets that far leaves the launcher free to quit.
  WaitForInputIdle(remover.get(), kRemoverHoldsItsFileMs);
  return 1;
}

}  // namespace

int StageAndLaunchRemover(HWND owner) {
  try {
    return Stage(owner);
  } catch (...) {
    return 0;  // a damaged record archive or a failed read: the failure dialog stays
  }
}
