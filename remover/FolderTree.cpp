#include "FolderTree.h"

#include <vector>

#include "FileObject.h"
#include "PathParts.h"
#include "WideText.h"

namespace remover {
namespace {

class SystemWalkImpl final : public WalkSystem {
 public:
  std::wstring FinalPath(const fw::FileObject& folder) const override { return folder.FinalPath(); }
  std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const override { return folder.List(); }
};

// One walk: the guard's identities are compared on the walked folder's volume, which the walk
// never leaves (it enters no link or mount point).
struct Walk {
  const RemovalScope& scope;
  const WalkSystem& system;
  std::uint64_t volume;
  BOOL deleteFiles;

  bool RemoveFolder(const fw::FileObject& parent, const fw::FolderEntry& entry) const;

  // Handles the entries of `folder`, each opened relative to the folder's handle and checked
  // against the listing before anything is done to it.
  void RemoveEntries(const fw::FileObject& folder) const {
    const std::vector<fw::FolderEntry> entries = system.List(folder);
    for (const fw::FolderEntry& entry : entries) {
      if (entry.IsDots()) continue;
      if (entry.IsFolder()) {
        RemoveFolder(folder, entry);
      } else if (deleteFiles) {
        // A file link is deleted as a link; a folder swapped in under the name is not touched.
        folder.DeleteFileEntry(entry);
      }
    }
  }
};

// Removes a link as the link itself, never entering it: only a handle on the link itself may be
// deleted; where the system followed the link to open it, the link stays.
bool RemoveLink(const fw::FileObject& parent, const fw::FolderEntry& entry) {
  const fw::FileObject link = parent.OpenSubfolder(entry);
  return link && link.IsReparsePoint() && link.MarkForDeletion();
}

// Removes the sub-folder `entry` of `parent` with its content. True when the folder was removed.
bool Walk::RemoveFolder(const fw::FileObject& parent, const fw::FolderEntry& entry) const {
  if (entry.IsLink()) return RemoveLink(parent, entry);
  if (scope.Guard().IsGuardedIdentity(volume, entry.id)) return false;
  fw::FileObject folder = parent.OpenSubfolder(entry);
  if (!folder) return false;
  if (folder.IsReparsePoint()) return folder.MarkForDeletion();
  if (!folder.HoldsListed(entry)) return false;  // replaced since it was listed
  RemoveEntries(folder);
  const bool removed = folder.MarkForDeletion();
  folder.Close();
  return removed;
}

}  // namespace

const WalkSystem& SystemWalk() {
  static const SystemWalkImpl system;
  return system;
}

BOOL RemoveFolderTree(const std::wstring& path, BOOL deleteFiles, const RemovalScope& scope, const WalkSystem& walk) {
  const removal::FolderGuard& guard = scope.Guard();
  const std::u16string written = fw::AsUtf16(path);
  const removal::FolderVerdict asWritten = guard.Judge({written});
  if (asWritten == removal::FolderVerdict::Refuse) return FALSE;
  // A device path of a drive or a share ("\\?\C:\x", "\\.\C:\x", "\\?\UNC\server\share\x") is
  // another name of a plain path: reached by handle as that one is, judged under its names too,
  // and never walked (its written name keeps the verdict at "only when empty"). Any other device
  // path (a volume, GLOBALROOT) names nothing the guard could judge: left alone.
  const auto plain = fw::PlainFormOf(std::wstring_view(path));
  if (!plain) return FALSE;
  const auto parts = fw::SplitPlainPath(std::wstring_view(*plain));
  if (!parts || parts->components.empty()) return FALSE;
  // The folder is taken as an entry of its parent, like every folder below it.
  const std::span<const std::wstring> names(parts->components);
  const std::wstring& name = names.back();
  const auto parent = scope.Reach(parts->root, names.first(names.size() - 1));
  if (!parent) return FALSE;
  const auto entry = parent->folder.Find(name);
  if (!entry || !entry->IsFolder()) return FALSE;
  const std::wstring stored = parent->path + (fw::IsPathSeparator(parent->path.back()) ? L"" : L"\\") + entry->name;
  const std::u16string storedForm = fw::AsUtf16(stored);
  if (guard.Judge({written, storedForm}) == removal::FolderVerdict::Refuse) return FALSE;
  if (entry->IsLink()) return RemoveLink(parent->folder, *entry) ? TRUE : FALSE;

  fw::FileObject folder = parent->folder.OpenSubfolder(*entry);
  if (!folder || folder.IsReparsePoint() || !folder.HoldsListed(*entry)) return FALSE;
  const fw::FileId id = folder.Identity();
  if (guard.IsGuardedIdentity(id.volume, id.index)) return FALSE;
  const std::u16string finalPath = fw::AsUtf16(walk.FinalPath(folder));
  switch (guard.Judge({written, storedForm, finalPath})) {
    case removal::FolderVerdict::Refuse:
      return FALSE;
    case removal::FolderVerdict::OnlyIfEmpty:
      return folder.MarkForDeletion() ? TRUE : FALSE;  // the system refuses a folder that is not empty
    case removal::FolderVerdict::Walk:
      break;
  }
  const Walk tree{scope, walk, id.volume, deleteFiles};
  tree.RemoveEntries(folder);
  const bool removed = folder.MarkForDeletion();
  folder.Close();
  return removed ? TRUE : FALSE;
}

}  // namespace remover
