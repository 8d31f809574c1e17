#include "FolderGuard.h"

#include <algorithm>

#include "PathParts.h"

namespace removal {
namespace {

// Whether `path` is `folder` or lies below it (both comparable).
bool IsAtOrBelow(std::u16string_view path, std::u16string_view folder) {
  return path == folder || IsBelow(path, folder);
}

// Comparable forms, without empty entries and duplicates.
std::vector<std::u16string> ComparableAll(const std::vector<std::u16string>& paths) {
  std::vector<std::u16string> out;
  for (const std::u16string& path : paths) {
    std::u16string comparable = ComparablePath(path);
    if (!comparable.empty() && std::find(out.begin(), out.end(), comparable) == out.end())
      out.push_back(std::move(comparable));
  }
  return out;
}

}  // namespace

std::u16string ComparablePath(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

bool IsBelow(std::u16string_view path, std::u16string_view folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
         path[folder.size()] == u'\\';
}

FolderGuard::FolderGuard(const std::vector<std::u16string>& folders, const std::vector<std::u16string>& profileRoots,
                         const std::vector<std::u16string>& wholeTrees)
    : folders_(ComparableAll(folders)), wholeTrees_(ComparableAll(wholeTrees)) {
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

bool FolderGuard::Refuses(std::u16string_view path) const {
  const auto parts = fw::SplitPlainPath(path);
  if (!parts || parts->components.empty()) return true;  // not a plain full path, or a root
  const std::u16string folder = ComparablePath(path);
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

FolderVerdict FolderGuard::Judge(const std::vector<std::u16string_view>& names) const {
  bool remote = false;
  for (const std::u16string_view name : names) {
    const fw::PathKind kind = fw::KindOf(name);
    if (kind == fw::PathKind::Unc || kind == fw::PathKind::Device) {
      // A share's root is never touched; below it, or in a device namespace, the guard's names
      // mean nothing, so nothing is walked.
      if (kind == fw::PathKind::Unc && Refuses(name)) return FolderVerdict::Refuse;
      remote = true;
    } else if (Refuses(name)) {
      return FolderVerdict::Refuse;
    }
  }
  return remote ? FolderVerdict::OnlyIfEmpty : FolderVerdict::Walk;
}

bool FolderGuard::IsInsideAProfile(std::u16string_view path) const {
  const std::u16string comparable = ComparablePath(path);
  for (const std::u16string& profiles : profilesFolders_)
    if (IsBelow(comparable, profiles)) return true;
  return false;
}

}  // namespace removal
