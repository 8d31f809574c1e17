#include "RemovalRules.h"

#include "Text.h"

namespace uninstaller {
namespace {

// Splits GBK text at backslashes that are characters of their own.
std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size();) {
    if (fw::IsGbkLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (path[i] == '\\') {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  parts.push_back(path.substr(start));
  return parts;
}

// True when one of `chars` stands in `text` as a character of its own (not as a trail byte).
bool HasChar(std::string_view text, std::string_view chars) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (fw::IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (chars.find(text[i]) != std::string_view::npos) return true;
  }
  return false;
}

bool OnlyDotsAndSpaces(std::string_view part) {
  return part.find_first_not_of(". ") == std::string_view::npos;
}

// Without trailing backslashes (DBCS-aware), ASCII letters folded to lower case.
std::string Comparable(std::string_view path) {
  std::string out(path);
  while (fw::EndsWithBackslash(out)) out.pop_back();
  bool trail = false;
  for (char& c : out) {
    if (trail) {
      trail = false;
      continue;
    }
    if (fw::IsGbkLeadByte(static_cast<unsigned char>(c))) {
      trail = true;
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
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

bool IsFullyQualified(std::string_view path) {
  const bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                     path[2] == '\\';
  const bool unc = path.size() > 2 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

bool IsGuardedFolder(std::string_view path, const FolderGuard& guard) {
  const std::string folder = Comparable(path);
  // Drive roots ("c:"), and anything that is not a full path, are never walked.
  if (!IsFullyQualified(folder + "\\") || folder.size() <= 2) return true;
  if (folder.size() > 2 && folder[0] == '\\') {
    // UNC: \\server\share is the root; \\?\ and \\.\ device forms are refused outright.
    if (folder[2] == '?' || folder[2] == '.') return true;
    std::size_t parts = 0;
    for (std::string_view part : Components(std::string_view(folder).substr(2)))
      if (!part.empty()) ++parts;
    if (parts <= 2) return true;
  }
  for (const std::string& g : guard.folders)
    if (!g.empty() && Comparable(g) == folder) return true;
  if (!guard.profilesFolder.empty()) {
    const std::string profiles = Comparable(guard.profilesFolder);
    const auto cut = fw::FindLastBackslash(folder);
    if (folder == profiles || (cut != std::string::npos && folder.substr(0, cut) == profiles)) return true;
  }
  return false;
}

bool IsSingleFolderName(std::string_view name) {
  return !name.empty() && !HasChar(name, "\\/:") && !OnlyDotsAndSpaces(name);
}

}  // namespace uninstaller
