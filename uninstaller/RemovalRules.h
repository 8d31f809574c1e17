#pragma once
// The remover's pure rules: which "Resource.ini" lines name a folder, which folders a recursive
// removal may never touch, and the progress arithmetic. No platform calls here.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstaller {

// The resource folder a "Resource.ini" line names, or nullopt. A line names a folder when it
// holds "=": the key is the text before the first "=" (nothing trimmed), and the key without
// its first four bytes, appended to `installFolder` (which ends in a backslash), is the folder.
// Refused, so that only folders strictly inside the install folder are named: a key of four
// bytes or fewer; a remainder that is absolute or UNC ("\..."), or holds ':' (a drive), '/',
// a wildcard, or a component of only dots and spaces ("..", "." and what Windows trims to them);
// a remainder with no real component.
std::optional<std::string> ResourceFolderFromLine(std::string_view line, const std::string& installFolder);

// floor(deleted * 200 / fileTotal) in unsigned 32-bit arithmetic, as the progress bar reads it.
std::int32_t ProgressValue(std::uint32_t deleted, std::uint32_t fileTotal);

// Folders a recursive removal must never run on, besides drive and share roots. A folder has
// several names (as written, its long form with short names expanded, its final path with links
// resolved): the guard holds every form it knows, and callers test every form of a path.
struct FolderGuard {
  std::vector<std::u16string> folders;          // the Windows folder, Program Files, ...
  std::vector<std::u16string> profilesFolders;  // the folder that holds every user's profile root
  // Guarded in every profile: paths relative to a profile root ("Desktop", "AppData\Roaming").
  // The remover may run elevated as another account than the signed-in user's.
  std::vector<std::u16string> inEveryProfile;
};

// The guard for `folders` (each in every form known) given the forms of the running account's
// profile root: the profiles folder is the profile root's parent, and each guarded folder inside
// the profile is guarded by the same relative path in every profile.
FolderGuard MakeFolderGuard(std::vector<std::u16string> folders, const std::vector<std::u16string>& profileRoots);

// True for a path a recursive removal must never run on: anything not fully qualified, a drive
// root, a UNC share root (or a \\?\ or \\.\ device path), one of the guard's folders, a
// profiles folder, a profile root in it or a guarded folder inside any such profile. Compared
// case-insensitively for ASCII letters, '/' taken as '\', trailing separators ignored. `path`
// must already be made full (no "." or "..").
bool IsGuardedFolder(std::u16string_view path, const FolderGuard& guard);

// A single folder name: not empty, no separator, no ':', not "." or "..".
bool IsSingleFolderName(std::string_view name);

}  // namespace uninstaller
