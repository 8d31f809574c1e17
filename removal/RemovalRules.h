#pragma once
// The remover's pure rules: which "Resource.ini" lines name a folder, the progress arithmetic and
// the Start-menu folder's name (the folder guard has a file of its own). No platform calls here.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace removal {

// The resource folder a "Resource.ini" line names, or nullopt. A line names a folder when it
// holds "=": the key is the text before the first "=" (nothing trimmed), and the key without
// its first four bytes, appended to `installFolder` (which ends in a backslash), is the folder.
// Refused, so that only folders strictly inside the install folder are named: a key of four
// bytes or fewer; a remainder that is absolute or UNC ("\..."), or holds ':' (a drive), '/',
// a wildcard, or a component of only dots and spaces ("..", "." and what Windows trims to them);
// a remainder with no real component.
std::optional<std::string> ResourceFolderFromLine(std::string_view line, const std::string& installFolder);

// floor(deleted * 200 / fileTotal) in unsigned 32-bit arithmetic, as the progress bar reads it.
std::int32_t ProgressValue(std::uint32_t deleted, std::uint32_t fileTotal);

// A single folder name: not empty, no separator, no ':', not "." or "..".
bool IsSingleFolderName(std::string_view name);

// Whether a listed file's path (or the final file's) can name a file: not when it ends in a
// separator ("C:\K\a.dll\" names a folder, and no file is found by it; taking the path apart
// would drop the empty last name and name a.dll).
template <typename Char>
bool CanNameAFile(std::basic_string_view<Char> path) {
  return !path.empty() && path.back() != static_cast<Char>('\\') && path.back() != static_cast<Char>('/');
}

// Whether a file's name says it may run as a program or be loaded as a library (an image the
// system maps while it is in use, which then cannot be deleted): .exe, .dll, .ocx, .cpl, .scr,
// .sys, .drv, .com, .ax, .mui, in any case. Only these are asked about before the removal. Also
// for GBK text: no byte of a two-byte character is '.', so what follows the last '.' is ASCII.
template <typename Char>
bool MayRunAsImage(std::basic_string_view<Char> path) {
  const std::size_t dot = path.rfind(static_cast<Char>('.'));
  if (dot == std::basic_string_view<Char>::npos || path.size() - dot > 4) return false;
  char extension[4] = {};
  for (std::size_t i = dot + 1; i < path.size(); ++i) {
    const Char c = path[i];
    if (c < static_cast<Char>('A') || c > static_cast<Char>('z')) return false;
    extension[i - dot - 1] = static_cast<char>(c >= static_cast<Char>('a') ? c : c - 'A' + 'a');
  }
  for (const char* image : {"exe", "dll", "ocx", "cpl", "scr", "sys", "drv", "com", "ax", "mui"})
    if (std::string_view(extension) == image) return true;
  return false;
}

// Up to `shown` of `names`, one a line, then how many more ("……以及其他 N 个"), for a message box.
std::u16string NamedLines(const std::vector<std::u16string>& names, std::size_t shown = 10);

// The question before anything is removed, naming what a running program holds (NamedLines); the
// box offers 中止 / 重试 / 忽略.
std::u16string InUseQuestion(const std::vector<std::u16string>& names);
// The word at the end, when files wait for the restart (moved aside, gone at the next start of
// the computer) or stay (held by a program): empty when neither.
std::u16string LeftBehindMessage(const std::vector<std::u16string>& atRestart, const std::vector<std::u16string>& staying);

}  // namespace removal
