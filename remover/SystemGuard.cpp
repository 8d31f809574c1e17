#include "SystemGuard.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <set>
#include <string>
#include <vector>

#include "FileObject.h"
#include "FullPath.h"
#include "KnownFolders.h"
#include "SystemPaths.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace remover {
namespace {

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// COM for the known-folder manager, on whichever thread builds the guard.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

// A REG_SZ value of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion in the 64-bit view, or "".
std::wstring NativeCurrentVersionValue(const wchar_t* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
    return L"";
  const fw::RegistryKey key(opened);
  wchar_t value[MAX_PATH + 1] = {};
  DWORD type = REG_NONE;
  DWORD size = MAX_PATH * sizeof(wchar_t);
  const LONG status = RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  return status == ERROR_SUCCESS && type == REG_SZ ? value : L"";
}

// The path of every known folder the system has registered (not only those with a CSIDL:
// Saved Games, Downloads, Links, ...), where it has one: for the running user, where that user's
// folders are by default (before any redirection), and for the default user, whose folders every
// new profile copies (the all-users ones among them).
void AddKnownFolders(std::vector<std::wstring>& paths) {
  const ComScope com;
  IKnownFolderManager* made = nullptr;
  if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                              reinterpret_cast<void**>(&made))))
    return;
  const fw::ComObject<IKnownFolderManager> manager(made);
  KNOWNFOLDERID* ids = nullptr;
  UINT count = 0;
  const HRESULT listed = manager.get()->GetFolderIds(&ids, &count);
  const fw::CoTaskMemory ownedIds(ids);
  if (FAILED(listed)) return;
  const HANDLE defaultUser = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
  const struct {
    DWORD flags;
    HANDLE user;
  } asks[] = {{KF_FLAG_DONT_VERIFY, nullptr},
              {KF_FLAG_DONT_VERIFY | KF_FLAG_DEFAULT_PATH, nullptr},
              {KF_FLAG_DONT_VERIFY, defaultUser}};
  for (UINT i = 0; i < count; ++i)
    for (const auto& ask : asks) {
      PWSTR path = nullptr;
      const HRESULT found = SHGetKnownFolderPath(ids[i], ask.flags, ask.user, &path);
      const fw::CoTaskMemory ownedPath(path);
      if (SUCCEEDED(found) && path) paths.push_back(path);
    }
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT found = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  const fw::CoTaskMemory ownedPath(path);
  return SUCCEEDED(found) && path ? path : L"";
}

// The documented default location of every known folder, on this system's bases: the system gives
// no path for a known folder it has not made (AppData\Local\Programs, 3D Objects, OneDrive), and
// another product may make it any time.
void AddKnownFolderDefaults(std::vector<std::wstring>& paths) {
  removal::KnownBases bases;
  bases.profile = fw::AsUtf16(ShellFolder(CSIDL_PROFILE));
  bases.programData = fw::AsUtf16(ShellFolder(CSIDL_COMMON_APPDATA));
  bases.publicProfile = fw::AsUtf16(KnownFolder(FOLDERID_Public));
  if (const std::wstring windows = ShellFolder(CSIDL_WINDOWS); windows.size() >= 3) bases.systemDrive = fw::AsUtf16(windows.substr(0, 3));
  for (const removal::KnownFolderDefault& folder : removal::KnownFolderDefaults())
    if (const std::u16string path = removal::DefaultLocation(folder, bases); !path.empty()) paths.push_back(fw::AsWide(path));
}

// The folders where products install, each in a folder of its own: in the view this program
// sees, in the other view (WoW64), and where a default installation puts them.
std::vector<std::wstring> ProductHomes() {
  std::vector<std::wstring> homes;
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86})
    homes.push_back(ShellFolder(csidl));
  for (const wchar_t* name : {L"ProgramW6432Dir", L"CommonW6432Dir", L"ProgramFilesDir", L"CommonFilesDir"})
    homes.push_back(NativeCurrentVersionValue(name));
  if (const std::wstring windows = ShellFolder(CSIDL_WINDOWS); windows.size() >= 3)
    for (const std::u16string_view home : removal::kProductHomes) homes.push_back(windows.substr(0, 3) + fw::AsWide(std::u16string(home)));
  return homes;
}

// An x86 remover on 64-bit Windows (WoW64) sees the 32-bit view: CSIDL_PROGRAM_FILES is
// "Program Files (x86)", System32 is SysWOW64. The 64-bit Program Files and its Common Files
// are named by no CSIDL, only by the registry's 64-bit view; the real System32 is reached as
// "Sysnative". Redirection stays on: the payload's paths were written in the same view.
void AddNativeFolders(std::vector<std::wstring>& paths) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (GetSystemWow64DirectoryW(buffer, MAX_PATH)) paths.push_back(buffer);  // SysWOW64, on any 64-bit Windows
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return;
  for (const wchar_t* name : {L"ProgramW6432Dir", L"CommonW6432Dir", L"ProgramFilesDir", L"CommonFilesDir"})
    paths.push_back(NativeCurrentVersionValue(name));
  if (GetWindowsDirectoryW(buffer, MAX_PATH)) paths.push_back(std::wstring(buffer) + L"\\Sysnative");
}

// A folder path on a drive or a share; virtual folders ("C:\...\::{GUID}") and empty answers are
// not folders.
bool IsFolderPath(const std::wstring& path) {
  const fw::PathKind kind = fw::KindOf(std::wstring_view(path));
  return (kind == fw::PathKind::Drive || kind == fw::PathKind::Unc) && path.find(L':', 2) == std::wstring::npos;
}

// `path` as named, in its long form and by its final path; the folder's identity when it exists.
void AddForms(const std::wstring& path, std::vector<std::u16string>& forms, std::vector<fw::FileId>* identities) {
  forms.push_back(fw::AsUtf16(path));
  if (const std::wstring longPath = fw::LongPathOf(path); !longPath.empty()) forms.push_back(fw::AsUtf16(longPath));
  const fw::FileObject folder = fw::FileObject::OpenFolder(path);
  if (!folder) return;
  if (const std::wstring finalPath = folder.FinalPath(); !finalPath.empty()) forms.push_back(fw::AsUtf16(finalPath));
  if (const fw::FileId id = folder.Identity(); identities && id.index != 0) identities->push_back(id);
}

removal::FolderGuard Build() {
  std::vector<std::wstring> named;
  wchar_t buffer[MAX_PATH + 1] = {};
  if (GetWindowsDirectoryW(buffer, MAX_PATH)) named.push_back(buffer);
  if (GetSystemDirectoryW(buffer, MAX_PATH)) named.push_back(buffer);
  if (GetTempPathW(MAX_PATH + 1, buffer)) named.push_back(buffer);
  for (int csidl :
       {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_DESKTOP,
        CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS, CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
        CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES,
        CSIDL_TEMPLATES, CSIDL_SENDTO, CSIDL_RECENT, CSIDL_FONTS})
    named.push_back(ShellFolder(csidl));
  AddKnownFolders(named);
  AddKnownFolderDefaults(named);
  AddNativeFolders(named);

  std::vector<std::u16string> folders;
  std::vector<std::u16string> windowsTree;
  std::vector<std::u16string> profile;
  std::vector<std::u16string> homes;
  std::vector<fw::FileId> identities;
  std::set<std::u16string> seen;  // comparable: each folder's forms asked once
  for (const std::wstring& path : named) {
    const auto parsed = IsFolderPath(path) ? fw::FullPath::Parse(fw::AsUtf16(path)) : std::nullopt;
    if (parsed && seen.insert(parsed->Comparable()).second) AddForms(path, folders, &identities);
  }
  for (const std::wstring& path : ProductHomes())
    if (IsFolderPath(path)) AddForms(path, homes, nullptr);
  if (const std::wstring windows = ShellFolder(CSIDL_WINDOWS); IsFolderPath(windows)) AddForms(windows, windowsTree, nullptr);
  if (const std::wstring root = ShellFolder(CSIDL_PROFILE); IsFolderPath(root)) AddForms(root, profile, nullptr);

  removal::FolderGuard guard(folders, profile, windowsTree, homes);
  for (const fw::FileId& id : identities) guard.AddIdentity(id.volume, id.index);
  return guard;
}

}  // namespace

const removal::FolderGuard& SystemFolderGuard() {
  static const removal::FolderGuard guard = Build();
  return guard;
}

}  // namespace remover
