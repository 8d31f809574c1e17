// libFuzzer target over the rules that take text a user without administrator rights can write:
// a path parsed for opening one component at a time (fw::FullPath::Parse), and a
// "Resource.ini" line under an install folder (removal::ResourceFolderFromLine). The input is an
// install folder, a newline, and the rest as one line of the file. Besides any crash or sanitizer
// report, a finding is a path accepted with a component that could leave its root, or a line
// accepted that names anything but a folder strictly inside the install folder.
#include <cstdint>
#include <string>
#include <string_view>

#include "FullPath.h"
#include "RemovalRules.h"
#include "Text.h"

namespace {

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

// An accepted path: a drive or share root, then names that are neither empty, nor hold a separator,
// nor end where Windows would trim them (".", "..", "x.", "x "). Its text is parsed the same way;
// its parent and child compare as their own parse does.
void CheckPath(const fw::FullPath& path) {
  const std::u16string& root = path.Root();
  Check(root.size() >= 3 && root.back() == u'\\');
  Check((root.size() == 3 && root[1] == u':') || (root[0] == u'\\' && root[1] == u'\\'));
  for (const std::u16string& name : path.Names()) {
    Check(!name.empty() && !fw::IsTrimmedName(std::u16string_view(name)));
    for (char16_t c : name) Check(!fw::IsPathSeparator(c));
  }
  const auto again = fw::FullPath::Parse(path.Text());
  Check(again && again->Root() == root && again->Names() == path.Names() && again->Comparable() == path.Comparable());
  if (!path.IsRoot()) {
    const auto parent = fw::FullPath::Parse(path.Parent().Text());
    Check(parent && parent->Comparable() == path.Parent().Comparable());
    Check(path.Parent().Child(path.Names().back()).Comparable() == path.Comparable());
    Check(fw::IsBelow(path.Comparable(), path.RootPath().Comparable()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string installDir(input.substr(0, newline));
  const std::string_view line = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  // Any text as a path, read as UTF-16 code units two bytes at a time, and as GBK.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  if (const auto path = fw::FullPath::Parse(units)) CheckPath(*path);

  // The install folder as the remover takes it: GBK text, a plain full path.
  const auto install = fw::GbkToUtf16(installDir);
  if (!install) return 0;
  const auto installPath = fw::FullPath::Parse(*install);
  if (!installPath) return 0;
  CheckPath(*installPath);
  const std::string installFolder = fw::WithTrailingSeparator(installDir);
  const auto named = removal::ResourceFolderFromLine(line, installFolder);
  if (!named) return 0;
  // What the remover would act on: the folder's path as the system takes it (text that is not GBK
  // names nothing), strictly inside the install folder.
  const auto folder = fw::GbkToUtf16(*named);
  if (!folder) return 0;
  // One the remover cannot parse (a name Windows would trim: the line's text is taken as written)
  // it skips.
  const auto folderPath = fw::FullPath::Parse(*folder);
  if (!folderPath) return 0;
  CheckPath(*folderPath);
  Check(fw::IsBelow(folderPath->Comparable(), installPath->Comparable()));
  Check(folderPath->Names().size() > installPath->Names().size());
  for (std::size_t i = 0; i < installPath->Names().size(); ++i)
    Check(folderPath->Names()[i] == installPath->Names()[i]);
  return 0;
}
