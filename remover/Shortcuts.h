#pragma once
// The product's shortcuts: the desktop one, and the Start-menu folder with its three.
#include <string>

#include "FolderGuard.h"
#include "ShellServices.h"

namespace remover {

// The shortcut names the remover deletes (GBK).
extern const char* const kProductShortcut;    // Zintera.lnk
extern const char* const kUninstallShortcut;  // 卸载Zintera.lnk
extern const char* const kHelpShortcut;       // 帮助文档.lnk

// Deletes the product shortcut from the current user's desktop, and the three shortcuts from the
// Start-menu folder `programFolderName` (GBK) in the per-user Programs folder, else the all-users
// one, then that folder when it is empty; each deletion is announced to the shell, whether or not
// the system deleted the file. A folder name that is not one name touches nothing there, and
// neither does one that names a folder the guard refuses (Startup). Each folder is opened where
// the shell says it is and the names in it relative to it: a link planted as the product's folder
// or as a shortcut is left alone.
void RemoveShortcuts(const std::string& programFolderName, ShellServices& shell, const FolderGuard& guard);

}  // namespace remover
