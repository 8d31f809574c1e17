#include "Shortcuts.h"

#include <shlobj.h>

#include <optional>

#include "FileObject.h"
#include "FolderListing.h"
#include "RemovalDescription.h"
#include "RemovalRules.h"
#include "RemovalScope.h"
#include "WideText.h"

namespace remover {

namespace {
// Every notification names a wide path and is flushed, so the shell has taken it before the worker
// goes on; the events carry SHCNE_INTERRUPT.
constexpr UINT kNotifyFlags = SHCNF_PATHW | SHCNF_FLUSH;

// Deletes the shortcut `name` of `folder` (whose path is `folderPath`) and announces it, when the
// folder holds an entry of that name: a file link there goes as the link itself, never its target;
// a folder (or a link to one) stays, and is announced all the same, as a shortcut that could not go is.
void DeleteShortcut(const fw::FileObject& folder, const fw::FolderListing& listing, const std::wstring& folderPath,
                    const std::wstring& name, ShellServices& shell) {
  const fw::FolderEntry* entry = listing.Find(name);
  if (!entry) return;
  if (!entry->IsFolder()) folder.DeleteFileEntry(*entry);
  shell.ChangeNotify(SHCNE_DELETE | SHCNE_INTERRUPT, kNotifyFlags, folderPath + L"\\" + name);
}

// The product's folder `name` in the Programs folder `programs`, opened to remove it, unless it is
// absent or a link.
std::optional<fw::ReachedFolder> OpenProductFolder(const std::wstring& programs, const std::wstring& name) {
  const auto programsPath = SystemGiven(programs);
  if (!programsPath) return std::nullopt;
  // The Programs folder is where the shell says it is, even where that is a link.
  const fw::FileObject start = fw::FileObject::OpenFolder(programs);
  const auto entry = start ? start.Find(name) : std::nullopt;
  if (!entry || !entry->IsFolder() || entry->IsLink()) return std::nullopt;
  fw::FileObject product = start.OpenSubfolder(*entry);
  if (!product || product.IsReparsePoint() || !product.HoldsListed(*entry)) return std::nullopt;
  return fw::ReachedFolder{std::move(product), programsPath->Child(fw::AsUtf16(entry->name))};
}

}  // namespace

std::wstring StartMenuFolderName(const std::string& gbk) {
  if (!removal::IsSingleFolderName(gbk)) return L"";
  return fw::GbkToWide(gbk).value_or(L"");
}

void RemoveShortcuts(const std::wstring& folderName, ShellServices& shell, const RemovalScope& scope,
                     const WalkSystem& walk) {
  // The current user's desktop only; the shell names it, even where it is a link (as under Wine).
  const std::wstring desktop = shell.FolderPath(CSIDL_DESKTOP);
  if (!desktop.empty()) {
    const fw::FileObject folder = fw::FileObject::OpenFolder(desktop);
    const std::wstring name = fw::AsWide(removal::kDesktopShortcut);
    const auto entry = folder ? folder.Find(name) : std::nullopt;
    if (entry) {  // a file link goes as the link itself (DeleteShortcut)
      if (!entry->IsFolder()) folder.DeleteFileEntry(*entry);
      shell.ChangeNotify(SHCNE_DELETE | SHCNE_INTERRUPT, kNotifyFlags, desktop + L"\\" + name);
      shell.ChangeNotify(SHCNE_UPDATEDIR | SHCNE_INTERRUPT, kNotifyFlags, desktop);
    }
  }

  // The product folder in the per-user Programs folder, else in the all-users one.
  std::wstring programs = shell.FolderPath(CSIDL_PROGRAMS);
  std::optional<fw::ReachedFolder> product;
  if (!folderName.empty()) {
    product = OpenProductFolder(programs, folderName);
    if (!product) {
      programs = shell.FolderPath(CSIDL_COMMON_PROGRAMS);
      product = OpenProductFolder(programs, folderName);
    }
  }
  if (programs.empty()) return;

  // The folder goes through the guard like a listed one: a name such as "Startup" names a folder
  // of the system's in Programs.

  const std::wstring productPath = programs + L"\\" + folderName;
  const auto named = SystemGiven(productPath);
  // Judged where it really is too: the Programs folder's path comes from the user's own settings.
  if (product && named &&
      JudgeHeld(scope, *named, product->path, product->folder, walk) == removal::FolderVerdict::Walk) {
    // Listed whole (never by one name: a handle keeps the name of its first query), then once more
    // to see what stayed.
    const fw::FolderListing listing(product->folder);
    for (const char16_t* shortcut : removal::kStartMenuShortcuts)
      DeleteShortcut(product->folder, listing, productPath, fw::AsWide(shortcut), shell);
    bool empty = true;
    for (const fw::FolderEntry& entry : product->folder.List())
      if (!entry.IsDots()) empty = false;
    if (empty) {
      product->folder.MarkForDeletion();
      product->folder.Close();
      shell.ChangeNotify(SHCNE_RMDIR | SHCNE_INTERRUPT, kNotifyFlags, productPath);
    }
  }
  shell.ChangeNotify(SHCNE_UPDATEDIR | SHCNE_INTERRUPT, kNotifyFlags, programs);
}

}  // namespace remover
