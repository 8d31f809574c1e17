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

// Folders a recursive removal must never run on, besides drive and share roots.
struct FolderGuard {
  std::vector<std::string> folders;  // full paths: the Windows folder, Program Files, ...
  std::string profilesFolder;        // the folder that holds every user's profile root
};

// True for a path a recursive removal must never run on: anything not fully qualified, a drive
// root, a UNC share root (or a \\?\ or \\.\ device path), one of the guard's folders, its
// profiles folder or a direct child of it (a profile root). Compared case-insensitively for
// ASCII letters, trailing backslashes ignored. `path` must already be made full (no "." or "..").
bool IsGuardedFolder(std::string_view path, const FolderGuard& guard);

// A single folder name: not empty, no separator, no ':', not "." or "..".
bool IsSingleFolderName(std::string_view name);

}  // namespace uninstaller
