#pragma once
// Folder trees removed by handle: the walk of a listed folder (or one "Resource.ini" names).
#include <windows.h>

#include <string>
#include <vector>

#include "FileObject.h"
#include "FilesInUse.h"
#include "FullPath.h"
#include "RemovalScope.h"

namespace remover {

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
  // True for a component of Windows (owned by TrustedInstaller): never walked.
  virtual bool IsSystemComponent(const fw::FileObject& folder) const = 0;
};
const WalkSystem& SystemWalk();

// What the guard says of a folder the remover holds open: refused when it is a guarded folder by
// identity or a component of Windows, else judged under `named` (the path it was reached by),
// `stored` (as the folders store it) and its final path (the system's, with every link resolved).
removal::FolderVerdict JudgeHeld(const RemovalScope& scope, const fw::FullPath& named, const fw::FullPath& stored,
                                 const fw::FileObject& folder, const WalkSystem& walk);

// Removes the folder `path` with what lies below it, depth-first and post-order: each folder goes
// only after all of its sub-folders were handled. With deleteFiles, every deletable file met on
// the way is deleted; without, no file is touched and only folders that are or become empty go.
// Read-only files are not deleted; failures are passed over and the walk goes on. A tree of any
// depth costs the thread's stack nothing (removal::WalkPostOrder); folders deeper than
// removal::kMaxWalkDepth below `path` are left in place. Returns TRUE when the folder itself was
// removed.
//
// Refused, with nothing touched: a path that cannot be reached without a link the scope refuses,
// and every folder the guard refuses under any of its names (as written, as the folders store it,
// by its final path) or by identity, and every component of Windows. A folder on a network share
// (as written or by its final path), written as a device path, or another product's place (directly
// in a drive's root or in Program Files, not the install folder nor inside it) is never walked: it is
// removed only when it is empty.
//
// No name decides what the walk deletes: each folder is opened without following a link, checked
// against its listing on that handle, listed through it, and its entries are opened and deleted
// relative to it. A link to a folder (reparse point) is never entered; where the system opens the
// link itself it is removed as a link. A folder replaced by another one or by a link after it was
// listed is left alone, and so is one that is a guarded folder by identity or a component of Windows.
//
// A file in use that the system will not delete now goes to `inUse` when given (moved aside for
// the restart; one held so that it cannot be opened for deletion is named there).
BOOL RemoveFolderTree(const fw::FullPath& path, BOOL deleteFiles, const RemovalScope& scope, const WalkSystem& walk,
                      RestartAside* inUse = nullptr);

}  // namespace remover
