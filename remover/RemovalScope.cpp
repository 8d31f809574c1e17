#include "RemovalScope.h"

#include "FileObject.h"
#include "WideText.h"

namespace remover {

std::optional<fw::FullPath> SystemGiven(const std::wstring& path) { return fw::FullPath::Parse(fw::AsUtf16(path)); }

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
  // An install folder the guard refuses (a root, Program Files) is no product's: nothing in it is
  // the product's for that.
  for (const std::u16string& form : installFolder_)
    if (const auto path = fw::FullPath::Parse(form); !path || guard_.Refuses(*path)) return;
  productFolder_ = installFolder_;
}

bool RemovalScope::MayFollow(const fw::FullPath& linkPath, const LinkFacts& facts) const {
  for (const std::u16string& install : installFolder_)
    if (fw::IsAtOrBelow(linkPath.Comparable(), install)) return false;
  if (guard_.IsInsideAProfile(linkPath) || linkPath.OnShare()) return false;
  // Where only administrators write: a drive's root, or a folder of the system's.
  const fw::FullPath parent = linkPath.Parent();
  if (!parent.IsRoot() && !guard_.Refuses(parent)) return false;
  return fw::OnlyAdministratorsCanChange(facts.ownedByAdministrators, facts.linkAccess, facts.parentAccess);
}

std::optional<fw::ReachedFolder> RemovalScope::Reach(const fw::FullPath& path) const {
  return fw::ReachFolder(path, [this](const fw::FullPath& linkPath, const fw::FileObject& parent, const fw::FileObject& link) {
    return MayFollow(linkPath, LinkFacts{link.OwnedByAdministrators(), link.AccessList(), parent.AccessList()});
  });
}

}  // namespace remover
