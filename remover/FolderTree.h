#pragma once
// What the remover does on the file system, all of it by handle: folder trees removed, listed
// files deleted relative to their folder, every path reached one component at a time.
#include <windows.h>

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FolderGuard.h"
#include "PathWalk.h"

namespace remover {

// What one removal trusts: the folder guard, and the install folder. Every path is reached from
// its drive or share root by handle; a link on the way is followed only where an administrator
// made it (owner SYSTEM, TrustedInstaller or Administrators: the system's "C:\Documents and
// Settings", a junction moving Program Files to another drive) in a place only administrators
// write (a drive's root, or a folder the guard holds), and never inside the install folder (under
// any of its names), inside a profile, or on a share. A path that would need another link is
// treated as one that does not exist.
class RemovalScope {
 public:
  RemovalScope(const removal::FolderGuard& guard, std::wstring installFolder);

  const removal::FolderGuard& Guard() const { return guard_; }
  // The folder at the full path `path`, opened to pass through; nullopt when it is not a plain
  // full path, or cannot be reached without a link the scope refuses.
  std::optional<fw::ReachedFolder> Reach(const std::wstring& path) const;
  // The same for the names `names` below the root `root` ("X:\" or "\\server\share\").
  std::optional<fw::ReachedFolder> Reach(const std::wstring& root, std::span<const std::wstring> names) const;
  // Whether the link at `linkPath` may be followed.
  bool MayFollow(const std::wstring& linkPath, const fw::FileObject& link) const;

 private:
  const removal::FolderGuard& guard_;
  std::vector<std::u16string> installFolder_;  // comparable: as written, as stored, final
};

// What a folder walk asks of the system beyond opening by handle: a listed folder's final path,
// and each walked folder's listing. Tests give their own to show what the system would answer on
// another machine, or to act at the worst moment (right after a listing).
class WalkSystem {
 public:
  virtual ~WalkSystem() = default;
  // The folder's path with every link resolved ("" when the system cannot tell).
  virtual std::wstring FinalPath(const fw::FileObject& folder) const = 0;
  // Every entry of the folder, read to the end before the walk acts on any (FileObject::List).
  virtual std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const = 0;
};
const WalkSystem& SystemWalk();

// Removes the folder `path` with what lies below it, depth-first and post-order: each folder goes
// only after all of its sub-folders were handled. With deleteFiles, every deletable file met on
// the way is deleted; without, no file is touched and only folders that are or become empty go.
// Read-only files are not deleted; failures are passed over and the walk goes on. Returns TRUE
// when the folder itself was removed.
//
// Refused, with nothing touched: a path that is not a plain full path (relative, "." or ".."
// components), one that cannot be reached without a link the scope refuses, and every folder the
// guard refuses under any of its names (as written, as the folders store it, by its final path) or
// by identity. A folder on a network share or in a device namespace (as written or by its final
// path) is never walked: it is removed only when it is empty.
//
// No name decides what the walk deletes: each folder is opened without following a link, checked
// against its listing on that handle, listed through it, and its entries are opened and deleted
// relative to it. A link to a folder (reparse point) is never entered; where the system opens the
// link itself it is removed as a link. A folder replaced by another one or by a link after it was
// listed is left alone, and so is one that is a guarded folder by identity.
BOOL RemoveFolderTree(const std::wstring& path, BOOL deleteFiles, const RemovalScope& scope, const WalkSystem& walk);

// Deletes listed files, each relative to its folder's handle; each distinct folder is reached
// once (and held until this object goes).
class ListedFiles {
 public:
  explicit ListedFiles(const RemovalScope& scope) : scope_(scope) {}

  // Deletes the file at the full path `path`. True when it was found (an entry of that name,
  // not a link, is in its folder), whether or not the system deleted it. Paths that are not plain
  // full paths, or whose folder cannot be reached, are not found.
  bool Delete(const std::wstring& path);

 private:
  const RemovalScope& scope_;
  struct Folder {
    fw::FileObject handle;
    fw::FolderListing listing;
  };
  std::map<std::u16string, std::optional<Folder>> folders_;  // by comparable path
};

}  // namespace remover
