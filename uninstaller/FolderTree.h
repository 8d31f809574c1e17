#pragma once
#include <windows.h>

#include <string>

namespace uninstaller {

// Removes the folder `path` with what lies below it, depth-first and post-order: each folder goes
// only after all of its sub-folders were handled. With deleteFiles, every deletable file met on
// the way is deleted; without, no file is touched and only folders that are or become empty go.
// Read-only files are not deleted; failures are passed over and the walk goes on. Returns TRUE
// when the folder itself was removed.
//
// Refused, with nothing touched: an empty or not fully qualified path, a drive or share root, and
// the well-known system and profile folders (Windows, System32, Program Files, ProgramData, the
// Users folder and every profile in it, Desktop, Documents, the temporary folder, in every
// profile), under any of their names: as written, with short (8.3) names, or through a link in a
// parent (the folder's final path is checked too).
//
// No name decides what the walk deletes: each folder is opened without following a link, checked
// against its listing on that handle, listed through it, and its entries are opened and deleted
// relative to it. A link to a folder (reparse point) is never entered; where the system opens the
// link itself it is removed as a link. A folder replaced by another one or by a link after it was
// listed is left alone.
BOOL RemoveFolderTree(std::string path, BOOL deleteFiles);

// Test seam: called with each folder's handle after the folder was listed and before any of its
// entries is opened (null: nothing is called).
void SetAfterListingHookForTest(void (*hook)(HANDLE folder));

}  // namespace uninstaller
