#pragma once
// A full Windows path, parsed once where it is given: where it starts (a drive or a share root),
// the names below that, and the form two names of one folder share whatever their spelling.
// Portable: the same rules for UTF-16 on Windows and in the host tests.
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

// A drive or share path taken apart. Everything that compares paths compares Comparable():
// separators as '\', no empty names, no trailing separator, every unit in the one case rule
// (fw::UpperCase), so two spellings of one name compare equal.
class FullPath {
 public:
  // The path `text` names: a drive path or a UNC path, '\' or '/' between the names, empty names
  // (doubled or trailing separators) below the root dropped; a device path of a drive or a share
  // is read as the plain path it names (and WrittenAsDevice() says so). nullopt for anything
  // else: a path that is not fully qualified, any other device path, a UNC path without a server
  // or a share name (an empty one, "\\\?\C:\x", would otherwise close up into a device path), and
  // a path with a name Windows would trim ("x.", "x ", ".."): it names another entry than it
  // spells, and would be judged under the wrong name.
  static std::optional<FullPath> Parse(std::u16string_view text);

  bool OnShare() const { return onShare_; }
  bool WrittenAsDevice() const { return writtenAsDevice_; }
  bool IsRoot() const { return names_.empty(); }
  // "X:\" or "\\server\share\", as written.
  const std::u16string& Root() const { return root_; }
  // The names below the root, in order, as written.
  const std::vector<std::u16string>& Names() const { return names_; }
  // The root and the names with '\' between them ("C:\a\b"; a root keeps its separator).
  std::u16string Text() const;
  const std::u16string& Comparable() const { return comparable_; }

  // The folder that holds this path; a root is its own parent.
  FullPath Parent() const;
  // The root alone, as a plain path.
  FullPath RootPath() const;
  // The entry `name` (one name, as its folder stores it) of this folder.
  FullPath Child(std::u16string_view name) const;

 private:
  FullPath() = default;
  std::u16string root_;
  std::vector<std::u16string> names_;
  std::u16string comparable_;
  bool onShare_ = false;
  bool writtenAsDevice_ = false;
};

// True when the comparable path `path` lies strictly below the comparable path `folder`.
bool IsBelow(std::u16string_view path, std::u16string_view folder);
// The same, or `path` is `folder`.
bool IsAtOrBelow(std::u16string_view path, std::u16string_view folder);

}  // namespace fw
