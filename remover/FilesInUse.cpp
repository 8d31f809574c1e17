#include "FilesInUse.h"

#include <restartmanager.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "FileObject.h"
#include "FullPath.h"
#include "Ntdll.h"
#include "Staging.h"
#include "SystemPaths.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace remover {
namespace {

// How long the remover waits for its launcher to end before the final file.
constexpr DWORD kLauncherGraceMs = 5000;

// Which file `path` names (volume serial and file index); zeros when it cannot be opened. Opened
// for no access at all, every sharing: a running image opens so too.
fw::FileId IdentityOf(const std::wstring& path) {
  const fw::FileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return {};
  return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// A folder's handle for adding files, without following a link at the path's end.
fw::KernelHandle OpenToAddFiles(const std::wstring& path) {
  fw::FileHandle folder(CreateFileW(path.c_str(), FILE_ADD_FILE | FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return fw::KernelHandle(folder ? folder.release() : nullptr);
}

// A name nobody made before: tried until CreateDirectory makes it (it fails for one that exists).
std::wstring Unique(const wchar_t* prefix, unsigned attempt) {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  wchar_t text[64];
  swprintf(text, 64, L"%ls%08lx%08lx.%u", prefix, static_cast<unsigned long>(GetCurrentProcessId()),
           static_cast<unsigned long>(now.LowPart), attempt);
  return text;
}

void ScheduleAtRestart(const std::wstring& path) { MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); }

}  // namespace

RestartAside::RestartAside() {
  // The remover runs from a staging folder when its folder is one of the launcher's, directly in
  // the Windows folder; elsewhere (started by itself) it has none.
  const std::wstring own = fw::OwnPath();
  const std::size_t cut = own.rfind(L'\\');
  const std::wstring windows = fw::SystemWindowsFolder();
  if (cut == std::wstring::npos || windows.empty()) return;
  const std::wstring folder = own.substr(0, cut);
  const std::size_t nameAt = folder.rfind(L'\\') + 1;
  const std::wstring_view prefix = payload::kStagingFolderPrefix;
  if (folder.compare(nameAt, prefix.size(), prefix) != 0) return;
  if (CompareStringOrdinal(folder.c_str(), static_cast<int>(nameAt - 1), windows.c_str(), -1, TRUE) != CSTR_EQUAL) return;
  staging_ = folder;
}

RestartAside::Folder* RestartAside::FolderOn(std::uint64_t volume, const std::wstring& finalPath) {
  for (Folder& folder : folders_)
    if (folder.volume == volume) return &folder;
  if (staging_) {
    fw::KernelHandle handle = OpenToAddFiles(*staging_);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle && GetFileInformationByHandle(handle.get(), &info) && info.dwVolumeSerialNumber == volume) {
      folders_.push_back({std::move(handle), *staging_, volume, false});
      return &folders_.back();
    }
  }
  // A folder made new at the root of the file's volume, owned by Administrators, for SYSTEM and
  // Administrators only.
  if (finalPath.size() < 3 || finalPath[1] != L':') return nullptr;
  const fw::LocalMemory descriptor = fw::AdministratorsOnly(/*folder=*/true);
  if (!descriptor) return nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    const std::wstring path = finalPath.substr(0, 3) + Unique(L"~korvane.restart.", attempt);
    if (!CreateDirectoryW(path.c_str(), &attributes)) continue;
    fw::KernelHandle handle = OpenToAddFiles(path);
    if (!handle) return nullptr;
    folders_.push_back({std::move(handle), path, volume, true});
    return &folders_.back();
  }
  return nullptr;
}

bool RestartAside::Take(const fw::FileObject& file) {
  const fw::FileId id = file.Identity();
  Folder* folder = FolderOn(id.volume, file.FinalPath());
  if (!folder) return false;
  const std::wstring was = file.FinalPath();
  const std::wstring name = Unique(L"~korvane.", static_cast<unsigned>(moved_.size()));
  if (!file.MoveInto(folder->handle.get(), name)) return false;
  ScheduleAtRestart(folder->path + L"\\" + name);
  moved_.push_back(was);
  return true;
}

void RestartAside::Held(std::wstring shown) {
  const auto path = fw::FullPath::Parse(fw::AsUtf16(shown));
  const std::u16string key = path ? path->Comparable() : fw::AsUtf16(shown);
  if (std::find(stayingKeys_.begin(), stayingKeys_.end(), key) != stayingKeys_.end()) return;
  stayingKeys_.push_back(key);
  staying_.push_back(std::move(shown));
}

void RestartAside::ScheduleFolders() {
  for (const Folder& folder : folders_)
    if (folder.made) ScheduleAtRestart(folder.path);
  if (!staging_) return;
  ScheduleAtRestart(fw::OwnPath());
  ScheduleAtRestart(*staging_);
}

std::vector<std::wstring> ProgramsHolding(const std::vector<std::wstring>& files) {
  std::vector<std::wstring> programs;
  // Loaded from the system folder only when there is something to ask (it is not imported: an
  // import would be looked for beside the program first).
  HMODULE library = LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return programs;
  const auto function = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library, name)); };
  using Start = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using Register = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using List = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  using End = DWORD(WINAPI*)(DWORD);
  const auto start = reinterpret_cast<Start>(function("RmStartSession"));
  const auto add = reinterpret_cast<Register>(function("RmRegisterResources"));
  const auto list = reinterpret_cast<List>(function("RmGetList"));
  const auto end = reinterpret_cast<End>(function("RmEndSession"));
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start && add && list && end && start(&session, 0, key) == ERROR_SUCCESS) {
    std::vector<LPCWSTR> names;
    for (const std::wstring& file : files) names.push_back(file.c_str());
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    std::vector<RM_PROCESS_INFO> found;
    if (add(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        list(session, &needed, &count, nullptr, &reasons) == ERROR_MORE_DATA && needed > 0) {
      found.resize(needed);
      count = needed;
      if (list(session, &needed, &count, found.data(), &reasons) != ERROR_SUCCESS) count = 0;
    }
    for (UINT i = 0; i < count && i < found.size(); ++i) {
      std::wstring name = found[i].strAppName;
      if (!name.empty() && std::find(programs.begin(), programs.end(), name) == programs.end()) programs.push_back(name);
    }
    end(session);
  }
  FreeLibrary(library);
  return programs;
}

void WaitForLauncherOf(const std::wstring& finalFile) {
  using Query = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = fw::NtdllFunction<Query>("NtQueryInformationProcess");
  PROCESS_BASIC_INFORMATION basic{};
  if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return;
  const auto parentId = static_cast<DWORD>(basic.InheritedFromUniqueProcessId);
  const fw::KernelHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
  if (!parent) return;
  // Only a parent that runs from the final file is waited for: the same file, not only the same
  // name (an id may have been given to another process since).
  wchar_t image[MAX_PATH * 2] = {};
  DWORD size = static_cast<DWORD>(std::size(image));
  if (!QueryFullProcessImageNameW(parent.get(), 0, image, &size)) return;
  const fw::FileId a = IdentityOf(image), b = IdentityOf(finalFile);
  if (a.index == 0 || a.volume != b.volume || a.index != b.index) return;
  WaitForSingleObject(parent.get(), kLauncherGraceMs);
}

}  // namespace remover
