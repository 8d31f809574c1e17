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
// Users folder and every profile in it, Desktop, Documents, the temporary folder). A link to a
// folder (reparse point), at the top or below, is removed as a link; its target is never entered.
BOOL RemoveFolderTree(std::string path, BOOL deleteFiles);

}  // namespace uninstaller
