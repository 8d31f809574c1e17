#include "ResourceListCheck.h"

#include "Archive.h"
#include "File.h"
#include "Manifest.h"
#include "RemovalRules.h"
#include "Text.h"

namespace pack {
namespace {

std::size_t FirstBeyondAscii(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return i;
  return std::string::npos;
}

}  // namespace

ResourceListCheck CheckResourceList(const std::string& path, const std::string& installFolderGbk, const std::string& shownAs,
                                    const std::function<bool(const std::string& folderUtf8)>& exists) {
  fw::File file;
  if (!file.Open(path, fw::File::Mode::Read)) throw InputError("cannot open " + path);
  ResourceListCheck check;
  fw::Archive archive(file, fw::Archive::Mode::Load);
  std::string line, all;
  for (std::size_t number = 1; archive.ReadLine(line); ++number) {
    all += line + '\n';
    if (line.find('=') == std::string::npos) continue;
    const auto named = removal::ResourceFolderFromLine(line, installFolderGbk);
    check.lines.push_back({number, line, named.value_or("")});
    const auto utf16 = fw::GbkToUtf16(named.value_or(line));
    const std::string shown = utf16 ? fw::Utf16ToUtf8(*utf16).value_or("?") : "(not GBK text)";
    const auto warn = [&](const std::string& message) {
      check.diagnostics.Add({Diagnostic::Severity::Warning, "", message, shownAs, number, 1});
    };
    if (!named)
      warn("the line " + shown + " names no folder strictly inside the install folder: the remover skips it");
    else if (!utf16)
      warn("the folder is not GBK text: the remover skips it");
    else if (exists && !exists(shown))
      warn("names " + shown + ", which the image does not hold: the remover removes it with whatever is in it when it "
           "runs");
  }
  // The whole text: what the remover would read otherwise than it was written, where it starts.
  const auto warnAt = [&](std::size_t offset, const std::string& message) {
    check.diagnostics.Add(Placed(Diagnostic::Severity::Warning, shownAs, all, offset, message));
  };
  if (const std::size_t zero = all.find('\0'); zero != std::string::npos)
    warnAt(0, "UTF-16 text: the remover reads GBK and finds no folder in it; save it as GBK");
  else if (const std::size_t beyond = FirstBeyondAscii(all); beyond != std::string::npos && fw::Utf8ToUtf16(all))
    warnAt(beyond, "UTF-8 text: the remover reads it as GBK, so names beyond ASCII become other names (\"res_模板\" "
                   "names \"妯℃澘\"); save it as GBK");
  return check;
}

}  // namespace pack
