// libFuzzer target over the rules that take text a user without administrator rights can write:
// a path taken apart for opening one component at a time (fw::SplitPlainPath), and a
// "Resource.ini" line under an install folder (removal::ResourceFolderFromLine). The input is an
// install folder, a newline, and the rest as one line of the file. Besides any crash or sanitizer
// report, a finding is a path accepted with a component that could leave its root, or a line
// accepted that names anything but a folder strictly inside the install folder.
#include <cstdint>
#include <string>
#include <string_view>

#include "PathParts.h"
#include "RemovalRules.h"
#include "Text.h"

namespace {

// Case as the file system compares ASCII names; enough for the roots and the names compared here,
// which come from the same text.
std::u16string Lower(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

// An accepted path: a drive or share root, then names that are neither empty, nor hold a separator,
// nor end where Windows would trim them (".", "..", "x.", "x "). Joined again, it is taken apart the same way.
void CheckParts(const fw::PathParts<char16_t>& parts) {
  const std::u16string& root = parts.root;
  Check(root.size() >= 3 && root.back() == u'\\');
  Check((root.size() == 3 && root[1] == u':') || (root[0] == u'\\' && root[1] == u'\\'));
  std::u16string joined = root;
  for (const std::u16string& name : parts.components) {
    Check(!name.empty() && !fw::IsTrimmedName(std::u16string_view(name)));
    for (char16_t c : name) Check(!fw::IsPathSeparator(c));
    joined += name + u"\\";
  }
  const auto again = fw::SplitPlainPath(std::u16string_view(joined));
  Check(again && again->root == root && again->components == parts.components);
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
  if (const auto parts = fw::SplitPlainPath(std::u16string_view(units))) CheckParts(*parts);

  // The install folder as the remover takes it: GBK text, a plain full path.
  const auto install = fw::GbkToUtf16(installDir);
  if (!install) return 0;
  const auto installParts = fw::SplitPlainPath(std::u16string_view(*install));
  if (!installParts) return 0;
  CheckParts(*installParts);
  const std::string installFolder = fw::WithTrailingSeparator(installDir);
  const auto named = removal::ResourceFolderFromLine(line, installFolder);
  if (!named) return 0;
  // What the remover would act on: the folder's path as the system takes it (text that is not GBK
  // names nothing), strictly inside the install folder.
  const auto folder = fw::GbkToUtf16(*named);
  if (!folder) return 0;
  // One the remover cannot take apart (a name Windows would trim: the line's text is taken as
  // written) it skips.
  const auto folderParts = fw::SplitPlainPath(std::u16string_view(*folder));
  if (!folderParts) return 0;
  CheckParts(*folderParts);
  Check(Lower(folderParts->root) == Lower(installParts->root));
  Check(folderParts->components.size() > installParts->components.size());
  for (std::size_t i = 0; i < installParts->components.size(); ++i)
    Check(folderParts->components[i] == installParts->components[i]);
  return 0;
}
