#pragma once
// What one removal trusts on the way to a path: every path is reached by handle from its root,
// and a link on the way is followed only where the scope allows it.
#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FolderGuard.h"
#include "ReachFolder.h"

namespace remover {

// A path's comparable form (removal::ComparablePath of its UTF-16).
std::u16string Comparable(const std::wstring& path);

// What the guard says of a folder the remover holds open, known as `named` (the path it was
// reached by): refused when it is a guarded folder by identity, else judged under that name, the
// name as the folders store it and its final path.
removal::FolderVerdict JudgeHeld(const removal::FolderGuard& guard, const std::wstring& named,
                                 const fw::ReachedFolder& held);

// What one removal trusts: the folder guard, and the install folder. Every path is reached from
// its drive or share root by handle; a link on the way is followed only where an administrator
// made it (owner SYSTEM, TrustedInstaller or Administrators: the system's "C:\Documents and
// Settings", a junction moving Program Files to another drive) in a place only administrators
// write (a drive's root, or a folder the guard holds), and never inside the install folder (under
// any of its names), inside a profile, or on a share. A path that would need another link is
// treated as one that does not exist.
class RemovalScope {
 public:
  RemovalScope(const removal::FolderGuard& guard, std::wstring installFolder);

  const removal::FolderGuard& Guard() const { return guard_; }
  // The folder at the full path `path`, opened to pass through; nullopt when it is not a plain
  // full path, or cannot be reached without a link the scope refuses.
  std::optional<fw::ReachedFolder> Reach(const std::wstring& path) const;
  // The same for the names `names` below the root `root` ("X:\" or "\\server\share\").
  std::optional<fw::ReachedFolder> Reach(const std::wstring& root, std::span<const std::wstring> names) const;
  // Whether the link at `linkPath` may be followed.
  bool MayFollow(const std::wstring& linkPath, const fw::FileObject& link) const;

 private:
  const removal::FolderGuard& guard_;
  std::vector<std::u16string> installFolder_;  // comparable: as written, as stored, final
};

}  // namespace remover
