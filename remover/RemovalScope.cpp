#include "RemovalScope.h"

#include "FileObject.h"
#include "PathParts.h"
#include "WideText.h"

namespace remover {

std::u16string Comparable(const std::wstring& path) { return removal::ComparablePath(fw::AsUtf16(path)); }

removal::FolderVerdict JudgeHeld(const removal::FolderGuard& guard, const std::wstring& named,
                                 const fw::ReachedFolder& held) {
  const fw::FileId id = held.folder.Identity();
  if (guard.IsGuardedIdentity(id.volume, id.index)) return removal::FolderVerdict::Refuse;
  return guard.Judge({fw::AsUtf16(named), fw::AsUtf16(held.path), fw::AsUtf16(held.folder.FinalPath())});
}

RemovalScope::RemovalScope(const removal::FolderGuard& guard, std::wstring installFolder) : guard_(guard) {
  if (installFolder.empty()) return;
  installFolder_.push_back(Comparable(installFolder));
  // Its other names (short names expanded, links resolved), so a link inside it is known as one
  // whichever name led there.
  if (const auto reached = Reach(installFolder)) {
    installFolder_.push_back(Comparable(reached->path));
    installFolder_.push_back(Comparable(reached->folder.FinalPath()));
  }
}

bool RemovalScope::MayFollow(const std::wstring& linkPath, const fw::FileObject& link) const {
  const std::u16string comparable = Comparable(linkPath);
  for (const std::u16string& install : installFolder_)
    if (!install.empty() && removal::IsBelow(comparable, install)) return false;
  if (guard_.IsInsideAProfile(comparable) || fw::KindOf(std::u16string_view(comparable)) != fw::PathKind::Drive)
    return false;
  // Where only administrators write: a drive's root, or a folder of the system's.
  const auto parent = comparable.substr(0, comparable.rfind(u'\\'));
  if (parent.size() > 2 && !guard_.Refuses(parent)) return false;
  return link.OwnedByAdministrators();
}

std::optional<fw::ReachedFolder> RemovalScope::Reach(const std::wstring& root, std::span<const std::wstring> names) const {
  return fw::ReachFolder(root, names,
                         [this](const std::wstring& linkPath, const fw::FileObject& link) { return MayFollow(linkPath, link); });
}

std::optional<fw::ReachedFolder> RemovalScope::Reach(const std::wstring& path) const {
  const auto parts = fw::SplitPlainPath(std::wstring_view(path));
  if (!parts) return std::nullopt;
  return Reach(parts->root, parts->components);
}

}  // namespace remover
