#pragma once
// The install folder's "Resource.ini": the resource folders it names, removed with what is in
// them, then the file itself.
#include <string>

#include "FolderTree.h"
#include "RemovalScope.h"

namespace remover {

// Removes the folders "Resource.ini" in the install folder `install` (`installFolder` is its GBK
// text with a trailing separator) names, then the file itself; the install folder and the file
// are reached by handle, through `scope`. The install folder is a full path, parsed where the
// records give it: "\Resource.ini" would be a file at the root of the current drive, not the
// product's. An install folder the guard refuses under any of its names or by identity (a root, a
// system folder or one that holds one, anything in the Windows tree): nobody's product folder,
// whose "Resource.ini" is not the product's to follow or to delete. The caller gives only GBK
// text: one ending in a lone lead byte would take the separator appended to it as its second
// byte (0x81 + '\' is 乗) and name a sibling of the install folder. Files in use in the folders go
// to `inUse`.
void RemoveResourceFolders(const fw::FullPath& install, const std::string& installFolder, const RemovalScope& scope,
                           const WalkSystem& walk, RestartAside& inUse);

}  // namespace remover
