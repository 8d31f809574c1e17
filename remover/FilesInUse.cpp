#include "FilesInUse.h"

#include <restartmanager.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "FileObject.h"
#include "Ntdll.h"
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

}  // namespace

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
