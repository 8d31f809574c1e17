#include "FolderGuard.h"

#include <algorithm>

namespace removal {
namespace {

using fw::IsAtOrBelow;
using fw::IsBelow;

// Comparable forms of the full paths among `paths`, without duplicates.
std::vector<std::u16string> ComparableAll(const std::vector<std::u16string>& paths) {
  std::vector<std::u16string> out;
  for (const std::u16string& text : paths) {
    const auto path = fw::FullPath::Parse(text);
    if (path && std::find(out.begin(), out.end(), path->Comparable()) == out.end()) out.push_back(path->Comparable());
  }
  return out;
}

}  // namespace

FolderGuard::FolderGuard(const std::vector<std::u16string>& folders, const std::vector<std::u16string>& profileRoots,
                         const std::vector<std::u16string>& wholeTrees, const std::vector<std::u16string>& productHomes)
    : folders_(ComparableAll(folders)), wholeTrees_(ComparableAll(wholeTrees)), productHomes_(ComparableAll(productHomes)) {
  for (const std::u16string& profile : ComparableAll(profileRoots)) {
    const auto cut = profile.rfind(u'\\');
    if (cut == std::u16string::npos || cut <= 2) continue;  // a profile directly at a root: no profiles folder
    const std::u16string profiles = profile.substr(0, cut);
    if (std::find(profilesFolders_.begin(), profilesFolders_.end(), profiles) == profilesFolders_.end())
      profilesFolders_.push_back(profiles);
    for (const std::u16string& folder : folders_) {
      if (!IsBelow(folder, profile)) continue;
      std::u16string relative = folder.substr(profile.size() + 1);
      if (std::find(inEveryProfile_.begin(), inEveryProfile_.end(), relative) == inEveryProfile_.end())
        inEveryProfile_.push_back(std::move(relative));
    }
    if (std::find(folders_.begin(), folders_.end(), profile) == folders_.end()) folders_.push_back(profile);
  }
}

bool FolderGuard::Refuses(const fw::FullPath& path) const {
  if (path.IsRoot()) return true;
  const std::u16string& folder = path.Comparable();
  for (const std::u16string& tree : wholeTrees_)
    if (IsAtOrBelow(folder, tree)) return true;
  // A guarded folder, or one that holds a guarded folder.
  for (const std::u16string& guarded : folders_)
    if (IsAtOrBelow(guarded, folder)) return true;
  for (const std::u16string& profiles : profilesFolders_) {
    if (IsAtOrBelow(profiles, folder)) return true;
    if (!IsBelow(folder, profiles)) continue;
    const std::u16string_view inProfile = std::u16string_view(folder).substr(profiles.size() + 1);
    const auto cut = inProfile.find(u'\\');
    if (cut == std::u16string_view::npos) return true;  // a profile root
    const std::u16string_view relative = inProfile.substr(cut + 1);
    for (const std::u16string& guarded : inEveryProfile_)
      if (IsAtOrBelow(guarded, relative)) return true;
  }
  return false;
}

FolderVerdict FolderGuard::Judge(std::initializer_list<const fw::FullPath*> names,
                                 std::span<const std::u16string> installFolder) const {
  bool onlyIfEmpty = false;
  for (const fw::FullPath* name : names) {
    if (!name || Refuses(*name)) return FolderVerdict::Refuse;
    // On a share, or in a device namespace, the guard's names mean nothing below a root: nothing
    // is walked.
    if (name->OnShare() || name->WrittenAsDevice() || IsAnotherProductsPlace(*name, installFolder)) onlyIfEmpty = true;
  }
  return onlyIfEmpty ? FolderVerdict::OnlyIfEmpty : FolderVerdict::Walk;
}

bool FolderGuard::IsAnotherProductsPlace(const fw::FullPath& path, std::span<const std::u16string> installFolder) const {
  if (path.IsRoot()) return false;
  const std::u16string& folder = path.Comparable();
  for (const std::u16string& install : installFolder)
    if (IsAtOrBelow(folder, install)) return false;
  if (path.OnShare()) return false;            // never walked anyway
  if (path.Names().size() == 1) return true;  // directly in a drive's root
  const std::u16string_view parent = std::u16string_view(folder).substr(0, folder.rfind(u'\\'));
  return std::find(productHomes_.begin(), productHomes_.end(), parent) != productHomes_.end();
}

bool FolderGuard::IsInsideAProfile(const fw::FullPath& path) const {
  for (const std::u16string& profiles : profilesFolders_)
    if (IsBelow(path.Comparable(), profiles)) return true;
  return false;
}

}  // namespace removal
