#include "FolderTree.h"

#include <shlobj.h>

#include <vector>

#include "FileObject.h"
#include "RemovalRules.h"
#include "Text.h"
#include "WideText.h"

namespace uninstaller {
namespace {

void (*g_afterListingHook)(HANDLE folder) = nullptr;

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// Without trailing separators ("C:\" becomes "C:").
std::wstring Bare(std::wstring path) {
  while (!path.empty() && fw::IsPathSeparator(path.back())) path.pop_back();
  return path;
}

// Every name the system knows `path` by: as written, made full, with short names expanded, and
// with links resolved (the last two only for a path that exists).
std::vector<std::u16string> Forms(const std::wstring& path) {
  std::vector<std::u16string> forms;
  for (const std::wstring& form : {path, fw::FullPathOf(path), fw::LongPathOf(path), fw::FinalPathOf(path)})
    if (!form.empty()) forms.push_back(fw::AsUtf16(form));
  return forms;
}

const FolderGuard& Guard() {
  static const FolderGuard guard = [] {
    std::vector<std::wstring> bases;
    wchar_t buffer[MAX_PATH] = {};
    if (GetWindowsDirectoryW(buffer, MAX_PATH)) bases.push_back(buffer);
    if (GetSystemDirectoryW(buffer, MAX_PATH)) bases.push_back(buffer);
    if (GetTempPathW(MAX_PATH, buffer)) bases.push_back(buffer);
    for (int csidl :
         {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
          CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_DESKTOP,
          CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS, CSIDL_APPDATA,
          CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
          CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES,
          CSIDL_TEMPLATES, CSIDL_SENDTO, CSIDL_RECENT, CSIDL_FONTS})
      bases.push_back(ShellFolder(csidl));
    const std::wstring profile = ShellFolder(CSIDL_PROFILE);
    if (!profile.empty()) bases.push_back(profile + L"\\Downloads");  // no CSIDL of its own

    std::vector<std::u16string> folders;
    for (const std::wstring& base : bases)
      if (!base.empty())
        for (std::u16string& form : Forms(base)) folders.push_back(std::move(form));
    return MakeFolderGuard(std::move(folders), profile.empty() ? std::vector<std::u16string>{} : Forms(profile));
  }();
  return guard;
}

bool IsGuarded(const std::wstring& path) {
  for (const std::u16string& form : Forms(path))
    if (IsGuardedFolder(form, Guard())) return true;
  return false;
}

bool RemoveFolder(const fw::FileObject& parent, const fw::FolderEntry& entry, BOOL deleteFiles);

// Handles the entries of `folder`, each opened relative to the folder's handle and checked
// against the listing before anything is done to it.
void RemoveEntries(const fw::FileObject& folder, BOOL deleteFiles) {
  const std::vector<fw::FolderEntry> entries = folder.List();
  if (g_afterListingHook) g_afterListingHook(folder.get());
  for (const fw::FolderEntry& entry : entries) {
    if (entry.IsDots()) continue;
    if (entry.IsFolder()) {
      RemoveFolder(folder, entry, deleteFiles);
    } else if (deleteFiles) {
      // A file link is deleted as a link; a folder swapped in under the name is not touched.
      folder.DeleteFileEntry(entry);
    }
  }
}

// Removes the sub-folder `entry` of `parent` with its content; a link only as a link, its target
// never entered. True when the folder was removed.
bool RemoveFolder(const fw::FileObject& parent, const fw::FolderEntry& entry, BOOL deleteFiles) {
  fw::FileObject folder = parent.OpenSubfolder(entry);
  if (!folder) return false;
  if (entry.IsLink() || folder.IsReparsePoint()) {
    // Only a handle on the link itself may be deleted: where the system followed the link to
    // open it, the link stays.
    return folder.IsReparsePoint() && folder.MarkForDeletion();
  }
  if (!folder.HoldsListed(entry)) return false;  // replaced since it was listed
  RemoveEntries(folder, deleteFiles);
  const bool removed = folder.MarkForDeletion();
  folder.Close();
  return removed;
}

}  // namespace

BOOL RemoveFolderTree(std::string path, BOOL deleteFiles) {
  if (path.empty() || !fw::IsFullyQualified(path)) return FALSE;
  const auto wide = fw::GbkToWide(path);
  if (!wide) return FALSE;
  const std::wstring full = Bare(fw::FullPathOf(*wide));
  if (full.empty() || IsGuarded(*wide) || IsGuarded(full)) return FALSE;

  // The folder is taken as an entry of its parent, like every folder below it.
  const auto cut = full.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return FALSE;
  const fw::FileObject parent = fw::FileObject::OpenFolder(full.substr(0, cut) + L"\\");
  if (!parent) return FALSE;
  const auto entry = parent.Find(full.substr(cut + 1));
  if (!entry || !entry->IsFolder()) return FALSE;
  // Where the walk really goes: the parent as it is now, links in it resolved, and the entry's
  // own long name. A link in a parent must not lead into a guarded folder either.
  const std::wstring parentNow = Bare(parent.FinalPath());
  if (parentNow.empty() || IsGuardedFolder(fw::AsUtf16(parentNow + L"\\" + entry->name), Guard())) return FALSE;
  return RemoveFolder(parent, *entry, deleteFiles) ? TRUE : FALSE;
}

void SetAfterListingHookForTest(void (*hook)(HANDLE folder)) { g_afterListingHook = hook; }

}  // namespace uninstaller
