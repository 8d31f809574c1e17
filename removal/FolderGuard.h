#pragma once
// Which folders the remover may walk (remove with what is inside them), decided once from the
// folders the system names. Pure rules: the remover builds the guard from the running system
// (SystemGuard.h), uninst-pack from a standard Windows layout, the tests from lists of their own.
#include <cstdint>
#include <initializer_list>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "FullPath.h"

namespace removal {

// What a removal may do with a listed folder.
enum class FolderVerdict {
  Walk,         // remove it with what is inside it (or what of it is empty)
  OnlyIfEmpty,  // remove the folder alone, and only when it is empty: never walked
  Refuse,       // leave it alone
};

class FolderGuard {
 public:
  // `folders`: every folder the system names (known folders, system folders, the temporary
  // folder), each in every form known (as named, long, final). `profileRoots`: the forms of the
  // running account's profile root; its parent is the profiles folder, and a guarded folder
  // inside it is guarded by the same relative path in every profile (elevated over the
  // shoulder, the running account is not the signed-in user). `wholeTrees`: folders nothing
  // inside of which is ever walked (the Windows folder). `productHomes`: folders where each
  // product has a folder of its own (Program Files, Common Files: removal::kProductHomes), as a
  // drive's root is. Each is parsed here, once; one that is no full path of a drive or a share (a
  // device path of a volume) names nothing a listed path can.
  FolderGuard(const std::vector<std::u16string>& folders, const std::vector<std::u16string>& profileRoots,
              const std::vector<std::u16string>& wholeTrees, const std::vector<std::u16string>& productHomes = {});
  FolderGuard() = default;

  // True for a path a recursive removal must never run on: a drive or share root, a guarded
  // folder or any folder that holds one, the profiles folder, a profile root, a folder guarded in
  // every profile or one that holds such a folder, and anything in the Windows tree.
  bool Refuses(const fw::FullPath& path) const;

  // A folder of one product's removal known by several names (as written, its long form, its final
  // path with the links resolved): refused when any name is refused, or is null (a name the
  // system could not give as a full path); never walked when any name is on a network share or
  // was written as a device path (the system's final path of a share stays UNC), or is another
  // product's place. `installFolder`: the comparable forms of the product's install folder, none
  // when the guard refuses it.
  FolderVerdict Judge(std::initializer_list<const fw::FullPath*> names,
                      std::span<const std::u16string> installFolder) const;

  // True for a folder directly in a drive's root or in a product home that is neither the install
  // folder (`installFolder`, comparable forms) nor inside it: another product's, or the system's.
  // (A share's folders are never walked, whoever's they are.)
  bool IsAnotherProductsPlace(const fw::FullPath& path, std::span<const std::u16string> installFolder) const;

  // True for a path inside a profile (below the profiles folder), where any user may have made
  // a link.
  bool IsInsideAProfile(const fw::FullPath& path) const;

  // Guarded folders by identity (volume and file id), a second line behind the names: the walk
  // never enters a folder with one of these, whatever name led there.
  void AddIdentity(std::uint64_t volume, std::uint64_t fileId) { identities_.insert({volume, fileId}); }
  bool IsGuardedIdentity(std::uint64_t volume, std::uint64_t fileId) const {
    return identities_.count({volume, fileId}) != 0;
  }

 private:
  std::vector<std::u16string> folders_;          // comparable
  std::vector<std::u16string> profilesFolders_;  // comparable
  std::vector<std::u16string> inEveryProfile_;   // comparable, relative to a profile root
  std::vector<std::u16string> wholeTrees_;       // comparable
  std::vector<std::u16string> productHomes_;     // comparable
  std::set<std::pair<std::uint64_t, std::uint64_t>> identities_;
};

}  // namespace removal
