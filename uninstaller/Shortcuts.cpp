#include "Shortcuts.h"

#include <shlobj.h>

#include "FileFind.h"
#include "RemovalRules.h"
#include "SystemPaths.h"

namespace uninstaller {

const char* const kProductShortcut = "Zintera.lnk";
const char* const kUninstallShortcut = "\xD0\xB6\xD4\xD8Zintera.lnk";  // 卸载Zintera.lnk
const char* const kHelpShortcut = "\xB0\xEF\xD6\xFA\xCE\xC4\xB5\xB5.lnk";  // 帮助文档.lnk

namespace {
// Every notification: the event with SHCNE_INTERRUPT, a path, and a flush so the shell has taken
// it before the worker goes on.
constexpr UINT kNotifyFlags = SHCNF_PATHW | SHCNF_FLUSH;
}  // namespace

void RemoveShortcuts(const std::string& programFolderName, ShellServices& shell) {
  // The current user's desktop only.
  const std::wstring desktop = shell.FolderPath(CSIDL_DESKTOP);
  if (!desktop.empty()) {
    const std::wstring link = desktop + L"\\" + Wide(kProductShortcut);
    if (Found(link)) {
      DeleteFileW(link.c_str());
      shell.ChangeNotify(SHCNE_DELETE | SHCNE_INTERRUPT, kNotifyFlags, link);
      shell.ChangeNotify(SHCNE_UPDATEDIR | SHCNE_INTERRUPT, kNotifyFlags, desktop);
    }
  }

  // The product folder in the per-user Programs folder, else in the all-users one.
  const std::wstring folderName = Wide(programFolderName);
  std::wstring programs = shell.FolderPath(CSIDL_PROGRAMS);
  std::wstring product = programs + L"\\" + folderName;
  if (programs.empty() || !Found(product + L"\\*.*")) {
    programs = shell.FolderPath(CSIDL_COMMON_PROGRAMS);
    product = programs + L"\\" + folderName;
  }
  if (programs.empty()) return;

  // A folder name that is empty or a path would make these the Programs folder or another one.
  if (IsSingleFolderName(programFolderName) && !folderName.empty()) {
    for (const char* name : {kProductShortcut, kUninstallShortcut, kHelpShortcut}) {
      const std::wstring link = product + L"\\" + Wide(name);
      if (Found(link)) {
        DeleteFileW(link.c_str());
        shell.ChangeNotify(SHCNE_DELETE | SHCNE_INTERRUPT, kNotifyFlags, link);
      }
    }
    bool empty = true;
    fw::FileFind finder;
    if (finder.FindFile(product + L"\\*.*")) {
      bool more = true;
      while (more && empty) {
        more = finder.FindNextFile();
        if (!finder.IsDots()) empty = false;
      }
    }
    finder.Close();
    if (empty && Found(product)) {
      RemoveDirectoryW(product.c_str());
      shell.ChangeNotify(SHCNE_RMDIR | SHCNE_INTERRUPT, kNotifyFlags, product);
    }
  }
  shell.ChangeNotify(SHCNE_UPDATEDIR | SHCNE_INTERRUPT, kNotifyFlags, programs);
}

}  // namespace uninstaller
