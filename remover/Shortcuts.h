#pragma once
// The product's shortcuts: the desktop one, and the Start-menu folder with its three.
#include <string>

#include "FolderTree.h"
#include "RemovalScope.h"
#include "ShellServices.h"

namespace remover {

// Deletes the product shortcut (removal::kDesktopShortcut) from the current user's desktop, and the
// three shortcuts (removal::kStartMenuShortcuts) from the
// Start-menu folder `programFolderName` in the per-user Programs folder, else the all-users one,
// then that folder when it is empty; each deletion is announced to the shell, whether or not the
// system deleted the file. An empty `programFolderName` (the records name none, or not a single
// folder name: StartMenuFolderName) touches nothing there, and neither does one that names a
// folder the guard refuses (Startup) under any of its names (`scope`, `walk`). Each folder is opened where the shell says it is and the
// names in it relative to it: a link planted as the product's folder or as a shortcut is left
// alone.
void RemoveShortcuts(const std::wstring& programFolderName, ShellServices& shell, const RemovalScope& scope,
                     const WalkSystem& walk);

// The Start-menu folder the records name (GBK), as RemoveShortcuts takes it: "" for text that is
// not GBK or not one folder name (empty, a path, dots), which would name the Programs folder itself
// or another one.
std::wstring StartMenuFolderName(const std::string& gbk);

}  // namespace remover
