#pragma once
// A file or folder held open by handle, for work that a name must not steer: a folder is listed
// through its handle, and its entries are opened relative to that handle, never by a full path
// that another account could re-point (a folder swapped for a junction, a link in a parent).
// Names are UTF-16, as the system stores them.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Win32Handles.h"

namespace fw {

// One entry of a folder listing, as the listing reported it.
struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
  std::uint64_t id = 0;  // the file system's identity of the entry (file index / file id)

  bool IsDots() const { return name == L"." || name == L".."; }
  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

class FileObject {
 public:
  FileObject() = default;

  // Opens the folder at `path` (a full path) for listing and deletion. Links in the path's
  // parents are followed; whether the result is where the caller meant is for FinalPath to say.
  static FileObject OpenFolder(const std::wstring& path);
  // Opens the sub-folder `entry` of this folder relative to its handle, without following a link
  // at the entry itself, shared without delete access (nobody renames it away or puts something
  // else in its place while it is held). Empty when it cannot be opened (gone, held, access
  // denied) or is no longer a folder.
  FileObject OpenSubfolder(const FolderEntry& entry) const;
  // Deletes the file `entry` of this folder: opened relative to its handle, never following a
  // link (a file link goes as the link itself), never a folder, for deletion when closed; a file
  // the system will not delete (read-only, held) stays. Whatever file has that name in this
  // folder goes, so nothing outside the folder can be reached. One open and one close, as
  // DeleteFileW costs.
  bool DeleteFileEntry(const FolderEntry& entry) const;

  explicit operator bool() const { return static_cast<bool>(handle_); }
  HANDLE get() const { return handle_.get(); }

  // Every entry of this folder ("." and ".." included), read to the end before the caller acts
  // on any of them. Empty when the folder cannot be listed.
  std::vector<FolderEntry> List() const;
  // The entry of this folder that `name` names (its long name as the folder stores it, also when
  // `name` is a short 8.3 name). Wildcards are never matched: a name holding one finds nothing.
  std::optional<FolderEntry> Find(const std::wstring& name) const;

  // True when this handle holds `entry` as it was listed: the same file system identity. An entry
  // replaced since the listing, by another file or folder or by a link to one, fails this.
  bool HoldsListed(const FolderEntry& entry) const;
  bool IsReparsePoint() const;
  // The path with every link resolved ("C:\\..." or "\\\\server\\share\\..."), or "" when the system
  // cannot tell.
  std::wstring FinalPath() const;

  // Marks the file or (empty) folder for deletion; it goes when the last handle to it closes,
  // which for an object only this process holds is at Close. False when the system refuses
  // (a read-only file, a folder that is not empty, ...).
  bool MarkForDeletion() const;
  void Close() { handle_.reset(); }

 private:
  explicit FileObject(HANDLE handle) : handle_(handle) {}
  FileHandle handle_;
};

// `path` with its short (8.3) components expanded, or "" when the system cannot tell.
std::wstring LongPathOf(const std::wstring& path);
// The final path of the folder `path` (links resolved, short names expanded), or "" when no
// folder can be opened there.
std::wstring FinalPathOf(const std::wstring& path);
// GetFullPathNameW: `path` made full, "." and ".." resolved; "" on failure.
std::wstring FullPathOf(const std::wstring& path);
// The running program's own file.
std::wstring OwnPath();
// The temporary folder (GetTempPathW), ending in a backslash; "" on failure.
std::wstring TempFolder();

}  // namespace fw
