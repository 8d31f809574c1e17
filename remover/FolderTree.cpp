#include "FolderTree.h"

#include <optional>
#include <utility>
#include <vector>

#include "FileObject.h"
#include "TreeWalk.h"
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

// Removes a link as the link itself, never entering it: only a handle on the link itself may be
// deleted; where the system followed the link to open it, the link stays.
bool RemoveLink(const fw::FileObject& parent, const fw::FolderEntry& entry) {
  const fw::FileObject link = parent.OpenSubfolder(entry);
  return link && link.IsReparsePoint() && link.MarkForDeletion();
}

// One walk, by handle (removal::WalkPostOrder keeps the order and the stack): each folder is listed
// through its handle, and its entries opened relative to it and checked against the listing
// before anything is done to them. The guard's identities are compared on the walked folder's
// volume, which the walk never leaves (it enters no link or mount point).
struct HeldTree {
  using Folder = fw::FileObject;
  using Entry = fw::FolderEntry;

  const RemovalScope& scope;
  const WalkSystem& system;
  std::uint64_t volume;
  BOOL deleteFiles;
  RestartAside* inUse;

  std::vector<Entry> List(const Folder& folder) const { return system.List(folder); }
  static bool IsSubfolder(const Entry& entry) { return entry.IsFolder() && !entry.IsDots(); }
  static bool IsFile(const Entry& entry) { return !entry.IsFolder(); }

  // The sub-folder `entry` of `parent`, opened to walk; a link is removed as a link instead.
  std::optional<Folder> Enter(const Folder& parent, const Entry& entry) const {
    if (entry.IsLink()) {
      RemoveLink(parent, entry);
      return std::nullopt;
    }
    if (scope.Guard().IsGuardedIdentity(volume, entry.id)) return std::nullopt;
    Folder folder = parent.OpenSubfolder(entry);
    if (!folder) return std::nullopt;
    if (folder.IsReparsePoint()) {
      folder.MarkForDeletion();
      return std::nullopt;
    }
    if (!folder.HoldsListed(entry) || system.IsSystemComponent(folder)) return std::nullopt;  // replaced since listed
    return folder;
  }
  // A file link is deleted as a link; a folder swapped in under the name is not touched.
  void File(const Folder& folder, const Entry& entry) const {
    if (deleteFiles && folder.DeleteFileEntry(entry, inUse) == fw::DeleteOutcome::Held && inUse)
      inUse->Held(folder.FinalPath() + L"\\" + entry.name);
  }
  static bool Leave(Folder& folder) {
    const bool removed = folder.MarkForDeletion();
    folder.Close();
    return removed;
  }
};

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

BOOL RemoveFolderTree(const fw::FullPath& path, BOOL deleteFiles, const RemovalScope& scope, const WalkSystem& walk,
                      RestartAside* inUse) {
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
  HeldTree tree{scope, walk, folder.Identity().volume, deleteFiles, inUse};
  return removal::WalkPostOrder(tree, std::move(folder)) ? TRUE : FALSE;
}

}  // namespace remover
