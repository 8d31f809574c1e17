#include "FolderTree.h"

#include <shlobj.h>

#include "FileFind.h"
#include "RemovalRules.h"
#include "Text.h"

namespace uninstaller {
namespace {

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

const FolderGuard& Guard() {
  static const FolderGuard guard = [] {
    FolderGuard g;
    char buffer[MAX_PATH] = {};
    if (GetWindowsDirectoryA(buffer, MAX_PATH)) g.folders.push_back(buffer);
    if (GetSystemDirectoryA(buffer, MAX_PATH)) g.folders.push_back(buffer);
    if (GetTempPathA(MAX_PATH, buffer)) g.folders.push_back(buffer);
    for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                      CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_DESKTOP,
                      CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
                      CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU,
                      CSIDL_COMMON_STARTMENU})
      g.folders.push_back(ShellFolder(csidl));
    // The Users folder is the one that holds the current profile.
    const std::string profile = ShellFolder(CSIDL_PROFILE);
    const auto cut = fw::FindLastBackslash(profile);
    if (cut != std::string::npos && cut > 2) {
      g.profilesFolder = profile.substr(0, cut);
      g.folders.push_back(g.profilesFolder);
    }
    return g;
  }();
  return guard;
}

bool IsLink(const std::string& path) {
  const DWORD attributes = fw::FileFind::AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

BOOL RemoveTree(const std::string& path, BOOL deleteFiles) {
  {
    fw::FileFind finder;
    if (finder.FindFile(fw::WithTrailingBackslash(path) + "*.*")) {
      bool more = true;
      while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots()) continue;
        const std::string entry = finder.GetFilePath();
        if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
          if (finder.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveDirectoryA(entry.c_str());  // the link only
          else
            RemoveTree(entry, deleteFiles);
        } else if (deleteFiles) {
          DeleteFileA(entry.c_str());
        }
      }
    }
  }  // the search handle is closed before the folder is removed
  return RemoveDirectoryA(path.c_str());
}

}  // namespace

BOOL RemoveFolderTree(std::string path, BOOL deleteFiles) {
  if (path.empty() || !fw::IsFullyQualified(path)) return FALSE;
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH || IsGuardedFolder(std::string_view(full, n), Guard())) return FALSE;
  std::string bare = path;  // "link\" would be searched as the link's target
  while (fw::EndsWithBackslash(bare)) bare.pop_back();
  if (IsLink(bare)) return RemoveDirectoryA(path.c_str());
  return RemoveTree(path, deleteFiles);
}

}  // namespace uninstaller
