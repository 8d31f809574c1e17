#include "RemovalRules.h"

#include "Text.h"

namespace uninstaller {
namespace {

// Splits GBK text at backslashes that are characters of their own.
std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += fw::GbkCharLength(path, i)) {
    if (path[i] == '\\') {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(path.substr(start));
  return parts;
}

// True when one of `chars` stands in `text` as a character of its own (not as a trail byte).
bool HasChar(std::string_view text, std::string_view chars) {
  for (std::size_t i = 0; i < text.size(); i += fw::GbkCharLength(text, i))
    if (chars.find(text[i]) != std::string_view::npos) return true;
  return false;
}

bool OnlyDotsAndSpaces(std::string_view part) {
  return part.find_first_not_of(". ") == std::string_view::npos;
}

// '/' as '\\', without trailing separators, ASCII letters folded to lower case.
std::u16string Comparable(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

// The text after `folder` + "\\" when `path` lies below `folder` (both comparable), else nullopt.
std::optional<std::u16string_view> Below(std::u16string_view path, std::u16string_view folder) {
  if (folder.empty() || path.size() <= folder.size() + 1 || path.substr(0, folder.size()) != folder ||
      path[folder.size()] != u'\\')
    return std::nullopt;
  return path.substr(folder.size() + 1);
}

}  // namespace

std::optional<std::string> ResourceFolderFromLine(std::string_view line, const std::string& installFolder) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = line.substr(0, equals);
  if (key.size() <= 4) return std::nullopt;
  const std::string_view rest = key.substr(4);
  if (rest.front() == '\\' || HasChar(rest, ":/*?<>|\"")) return std::nullopt;
  bool named = false;
  for (std::string_view part : Components(rest)) {
    if (part.empty()) continue;  // "a\\b" and a trailing backslash still name a\b
    if (OnlyDotsAndSpaces(part)) return std::nullopt;
    named = true;
  }
  if (!named) return std::nullopt;
  return installFolder + std::string(rest);
}

std::int32_t ProgressValue(std::uint32_t deleted, std::uint32_t fileTotal) {
  if (fileTotal == 0) return 0;  // a valid trailer never has 0 here
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(deleted * 200u) / fileTotal);
}

FolderGuard MakeFolderGuard(std::vector<std::u16string> folders, const std::vector<std::u16string>& profileRoots) {
  FolderGuard guard;
  for (const std::u16string& root : profileRoots) {
    const std::u16string profile = Comparable(root);
    const auto cut = profile.rfind(u'\\');
    if (cut == std::u16string::npos || cut <= 2) continue;  // a profile directly at a root: no profiles folder
    guard.profilesFolders.push_back(profile.substr(0, cut));
    for (const std::u16string& folder : folders) {
      const std::u16string comparable = Comparable(folder);
      if (const auto inside = Below(comparable, profile)) guard.inEveryProfile.emplace_back(*inside);
    }
  }
  for (const std::u16string& root : profileRoots) folders.push_back(root);
  guard.folders = std::move(folders);
  return guard;
}

bool IsGuardedFolder(std::u16string_view path, const FolderGuard& guard) {
  const std::u16string folder = Comparable(path);
  // Drive roots ("c:"), and anything that is not a full path, are never walked.
  if (folder.size() <= 2 || !fw::IsFullyQualified(std::u16string_view(folder + u'\\'))) return true;
  if (folder[0] == u'\\') {
    // \\server\share is the root; \\?\ and \\.\ device forms are refused outright.
    if (folder[2] == u'?' || folder[2] == u'.') return true;
    std::size_t parts = 0, start = 2;
    for (std::size_t i = 2; i <= folder.size(); ++i) {
      if (i < folder.size() && folder[i] != u'\\') continue;
      if (i > start) ++parts;
      start = i + 1;
    }
    if (parts <= 2) return true;
  }
  for (const std::u16string& g : guard.folders)
    if (!g.empty() && Comparable(g) == folder) return true;
  for (const std::u16string& profiles : guard.profilesFolders) {
    const std::u16string p = Comparable(profiles);
    if (p.empty()) continue;
    if (folder == p) return true;
    const auto inProfile = Below(folder, p);
    if (!inProfile) continue;
    const auto cut = inProfile->find(u'\\');
    if (cut == std::u16string_view::npos) return true;  // a profile root
    const std::u16string_view relative = inProfile->substr(cut + 1);
    for (const std::u16string& guarded : guard.inEveryProfile)
      if (Comparable(guarded) == relative) return true;
  }
  return false;
}

bool IsSingleFolderName(std::string_view name) {
  return !name.empty() && !HasChar(name, "\\/:") && !OnlyDotsAndSpaces(name);
}

}  // namespace uninstaller
