#pragma once
// A full Windows path taken apart into where it starts and the names below that, for opening it
// one component at a time by handle. Portable: the same rules for UTF-16 on Windows and the host
// tests' char16_t.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Text.h"

namespace fw {

enum class PathKind {
  Drive,     // "X:\..."
  Unc,       // "\\server\share\..."
  Device,    // "\\?\..." or "\\.\..." (long-path, device and GLOBALROOT forms)
  NotFull,   // relative, rooted ("\x") or drive-relative ("X:x")
};

template <typename Char>
PathKind KindOf(std::basic_string_view<Char> path) {
  if (!IsFullyQualified(path)) return PathKind::NotFull;
  if (!IsPathSeparator(path[0])) return PathKind::Drive;
  if (path.size() >= 4 && (path[2] == static_cast<Char>('?') || path[2] == static_cast<Char>('.')) &&
      IsPathSeparator(path[3]))
    return PathKind::Device;
  return PathKind::Unc;
}

template <typename Char>
struct PathParts {
  std::basic_string<Char> root;                         // "X:\" or "\\server\share\"
  std::vector<std::basic_string<Char>> components;      // the names below the root, in order
};

// True for a name Windows would read as another name: it drops trailing dots and spaces, so "a."
// names "a", and "." and ".." (or ". .", which trims to them) name the folder or its parent.
template <typename Char>
bool IsTrimmedName(std::basic_string_view<Char> name) {
  return !name.empty() && (name.back() == static_cast<Char>('.') || name.back() == static_cast<Char>(' '));
}

// The plain path a device path of a drive or a share names ("\\?\C:\x" or "\\.\C:\x" is "C:\x",
// "\\?\UNC\server\share\x" is "\\server\share\x", any case), `path` itself when it is no device
// path, and nullopt for any other device path (a volume, GLOBALROOT), which names no drive or
// share. The one place device forms are resolved.
template <typename Char>
std::optional<std::basic_string<Char>> PlainFormOf(std::basic_string_view<Char> path) {
  if (KindOf(path) != PathKind::Device) return std::basic_string<Char>(path);
  const auto rest = path.substr(4);
  const auto is = [](Char c, char lower) {
    return c == static_cast<Char>(lower) || c == static_cast<Char>(lower - 'a' + 'A');
  };
  if (rest.size() >= 4 && is(rest[0], 'u') && is(rest[1], 'n') && is(rest[2], 'c') && IsPathSeparator(rest[3]))
    return std::basic_string<Char>(2, static_cast<Char>('\\')) + std::basic_string<Char>(rest.substr(4));
  const bool letter = (rest.size() >= 1) && ((rest[0] >= static_cast<Char>('A') && rest[0] <= static_cast<Char>('Z')) ||
                                             (rest[0] >= static_cast<Char>('a') && rest[0] <= static_cast<Char>('z')));
  if (rest.size() >= 3 && letter && rest[1] == static_cast<Char>(':') && IsPathSeparator(rest[2]))
    return std::basic_string<Char>(rest);
  return std::nullopt;
}

// Takes apart a plain full path: a drive path or a UNC path, '\' or '/' between the names, empty
// names (doubled or trailing separators) below the root dropped. nullopt for anything else: a path
// that is not fully qualified, a device path, a UNC path without a server or a share name (an
// empty one, "\\\?\C:\x", would otherwise close up into a device path), and a path with a
// component Windows would trim ("x.", "x ", ".."): it names another entry than it spells, and the
// guard would judge it under the wrong name.
template <typename Char>
std::optional<PathParts<Char>> SplitPlainPath(std::basic_string_view<Char> path) {
  const PathKind kind = KindOf(path);
  if (kind != PathKind::Drive && kind != PathKind::Unc) return std::nullopt;
  std::vector<std::basic_string<Char>> names;
  std::size_t start = kind == PathKind::Drive ? 3 : 2;
  std::size_t rootNames = kind == PathKind::Unc ? 2 : 0;  // server and share: never empty
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i < path.size() && !IsPathSeparator(path[i])) continue;
    const auto name = path.substr(start, i - start);
    if (IsTrimmedName(name)) return std::nullopt;
    if (name.empty() && rootNames > 0 && i < path.size()) return std::nullopt;
    if (!name.empty()) names.emplace_back(name);
    if (rootNames > 0) --rootNames;
    start = i + 1;
  }
  PathParts<Char> parts;
  const Char backslash = static_cast<Char>('\\');
  if (kind == PathKind::Drive) {
    parts.root = {path[0], path[1], backslash};
  } else {
    if (names.size() < 2) return std::nullopt;  // "\\server" or "\\server\share": no folder in it
    parts.root = std::basic_string<Char>(2, backslash) + names[0] + backslash + names[1] + backslash;
    names.erase(names.begin(), names.begin() + 2);
  }
  parts.components = std::move(names);
  return parts;
}

}  // namespace fw
