#include "FolderTree.h"

#include <vector>

#include "FileObject.h"
#include "WideText.h"

namespace remover {
namespace {

class SystemWalkImpl final : public WalkSystem {
 public:
  std::wstring FinalPath(const fw::FileObject& folder) const override { return folder.FinalPath(); }
  std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const override { return folder.List(); }
  bool IsSystemComponent(const fw::FileObject& folder) const override {
    return folder.Owner() == fw::OwnerKind::TrustedInstaller;
  }
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
  if (system.IsSystemComponent(folder)) return false;
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

removal::FolderVerdict JudgeHeld(const RemovalScope& scope, const fw::FullPath& named, const fw::FullPath& stored,
                                 const fw::FileObject& folder, const WalkSystem& walk) {
  const fw::FileId id = folder.Identity();
  if (scope.Guard().IsGuardedIdentity(id.volume, id.index) || walk.IsSystemComponent(folder))
    return removal::FolderVerdict::Refuse;
  const auto final = SystemGiven(walk.FinalPath(folder));
  return scope.Judge({&named, &stored, final ? &*final : nullptr});
}

BOOL RemoveFolderTree(const fw::FullPath& path, BOOL deleteFiles, const RemovalScope& scope, const WalkSystem& walk) {
  if (scope.Judge({&path}) == removal::FolderVerdict::Refuse) return FALSE;
  // The folder is taken as an entry of its parent, like every folder below it.
  const auto parent = scope.Reach(path.Parent());
  if (!parent) return FALSE;
  const auto entry = parent->folder.Find(fw::AsWide(path.Names().back()));
  if (!entry || !entry->IsFolder()) return FALSE;
  const fw::FullPath stored = parent->path.Child(fw::AsUtf16(entry->name));
  if (scope.Judge({&stored}) == removal::FolderVerdict::Refuse) return FALSE;  // the written name is judged above
  if (entry->IsLink()) return RemoveLink(parent->folder, *entry) ? TRUE : FALSE;

  fw::FileObject folder = parent->folder.OpenSubfolder(*entry);
  if (!folder || folder.IsReparsePoint() || !folder.HoldsListed(*entry)) return FALSE;
  switch (JudgeHeld(scope, path, stored, folder, walk)) {
    case removal::FolderVerdict::Refuse:
      return FALSE;
    case removal::FolderVerdict::OnlyIfEmpty:
      return folder.MarkForDeletion() ? TRUE : FALSE;  // the system refuses a folder that is not empty
    case removal::FolderVerdict::Walk:
      break;
  }
  const Walk tree{scope, walk, folder.Identity().volume, deleteFiles};
  tree.RemoveEntries(folder);
  const bool removed = folder.MarkForDeletion();
  folder.Close();
  return removed ? TRUE : FALSE;
}

}  // namespace remover
