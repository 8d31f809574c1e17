#pragma once
// What one removal trusts on the way to a path: every path is reached by handle from its root,
// and a link on the way is followed only where the scope allows it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "FolderGuard.h"
#include "FullPath.h"
#include "ReachFolder.h"

namespace remover {

// A path the system gave (a final path), parsed; nullopt for one that is no full path of a drive
// or a share, which the guard refuses.
std::optional<fw::FullPath> SystemGiven(const std::wstring& path);

// What the scope asks of a link it might follow, read by handle: who owns it, and who may change
// it and the folder that holds it.
struct LinkFacts {
  bool ownedByAdministrators;
  std::optional<std::vector<fw::AccessEntry>> linkAccess, parentAccess;
};

// What one removal trusts: the folder guard, and the install folder. Every path is reached from
// its drive or share root by handle; a link on the way is followed only where only administrators
// can have made or changed it (fw::OnlyAdministratorsCanChange: owned by SYSTEM, TrustedInstaller
// or Administrators, and its own access list and its folder's let nobody else change it or swap
// it: the system's "C:\Documents and Settings", a junction moving Program Files to another drive,
// but not a folder an administrator made in a drive's root, which every user may change) in a
// place only administrators write (a drive's root, or a folder the guard holds), and never at or
// inside the install folder (under any of its names: a user who may change the install folder can
// make it a mount point while the question waits), inside a profile, or on a share. A path that
// would need another link is treated as one that does not exist.
class RemovalScope {
 public:
  RemovalScope(const removal::FolderGuard& guard, const std::optional<fw::FullPath>& installFolder);

  const removal::FolderGuard& Guard() const { return guard_; }
  // What the guard says of a folder of this removal known by `names` (FolderGuard::Judge, with
  // this removal's install folder where the guard allows it).
  removal::FolderVerdict Judge(std::initializer_list<const fw::FullPath*> names) const {
    return guard_.Judge(names, productFolder_);
  }
  // The folder at `path`, opened to pass through; nullopt when it cannot be reached without a
  // link the scope refuses.
  std::optional<fw::ReachedFolder> Reach(const fw::FullPath& path) const;
  // Whether the link at `linkPath` may be followed, by what is known of it.
  bool MayFollow(const fw::FullPath& linkPath, const LinkFacts& facts) const;

 private:
  const removal::FolderGuard& guard_;
  std::vector<std::u16string> installFolder_;  // comparable: as written, as stored, final
  std::vector<std::u16string> productFolder_;  // the same, or none when the guard refuses any of them
};

}  // namespace remover
