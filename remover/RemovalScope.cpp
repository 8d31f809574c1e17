#include "RemovalScope.h"

#include "FileObject.h"
#include "WideText.h"

namespace remover {

std::optional<fw::FullPath> SystemGiven(const std::wstring& path) { return fw::FullPath::Parse(fw::AsUtf16(path)); }

removal::FolderVerdict JudgeHeld(const removal::FolderGuard& guard, const fw::FullPath& named, const fw::FullPath& stored,
                                 const fw::FileObject& folder, const std::wstring& finalPath) {
  const fw::FileId id = folder.Identity();
  if (guard.IsGuardedIdentity(id.volume, id.index)) return removal::FolderVerdict::Refuse;
  const auto final = SystemGiven(finalPath);
  return guard.Judge({&named, &stored, final ? &*final : nullptr});
}

RemovalScope::RemovalScope(const removal::FolderGuard& guard, const std::optional<fw::FullPath>& installFolder)
    : guard_(guard) {
  if (!installFolder) return;
  installFolder_.push_back(installFolder->Comparable());
  // Its other names (short names expanded, links resolved), so a link inside it is known as one
  // whichever name led there.
  if (const auto reached = Reach(*installFolder)) {
    installFolder_.push_back(reached->path.Comparable());
    if (const auto final = SystemGiven(reached->folder.FinalPath())) installFolder_.push_back(final->Comparable());
  }
}

bool RemovalScope::MayFollow(const fw::FullPath& linkPath, const fw::FileObject& link) const {
  for (const std::u16string& install : installFolder_)
    if (fw::IsAtOrBelow(linkPath.Comparable(), install)) return false;
  if (guard_.IsInsideAProfile(linkPath) || linkPath.OnShare()) return false;
  // Where only administrators write: a drive's root, or a folder of the system's.
  const fw::FullPath parent = linkPath.Parent();
  if (!parent.IsRoot() && !guard_.Refuses(parent)) return false;
  return link.OwnedByAdministrators();
}

std::optional<fw::ReachedFolder> RemovalScope::Reach(const fw::FullPath& path) const {
  return fw::ReachFolder(path,
                         [this](const fw::FullPath& linkPath, const fw::FileObject& link) { return MayFollow(linkPath, link); });
}

}  // namespace remover
