#include "ResourceListCheck.h"

#include <algorithm>

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
  if (!file.Open(path, fw::File::Mode::Read)) throw InputError(Code::ResourceListUnreadable, "cannot open " + path);
  std::vector<std::string> lines;
  std::string line, all;
  {
    fw::Archive archive(file, fw::Archive::Mode::Load);
    while (archive.ReadLine(line)) {
      all += line + '\n';
      lines.push_back(std::move(line));
    }
  }
  ResourceListCheck check;
  // UTF-16 text names nothing the remover finds, said once for the whole file below.
  const bool utf16 = all.find('\0') != std::string::npos;
  for (std::size_t number = 1; number <= lines.size(); ++number) {
    const std::string& text = lines[number - 1];
    if (text.find('=') == std::string::npos) continue;
    const auto warn = [&](Code code, const std::string& message) {
      if (!utf16) check.diagnostics.Add({code, Diagnostic::Severity::Warning, "", message, shownAs, number, 1});
    };
    auto named = removal::ResourceFolderFromLine(text, installFolderGbk);
    const auto utf16Text = fw::GbkToUtf16(named.value_or(text));
    const std::string shown = utf16Text ? fw::Utf16ToUtf8(*utf16Text).value_or("?") : "(not GBK text)";
    std::string whyNone;
    if (!named) {
      whyNone = "the line names no folder strictly inside the install folder";
      warn(Code::ResourceLineNamesNoFolder, "the line " + shown + " names no folder strictly inside the install folder: the remover skips it");
    } else if (const auto control = std::find_if(named->begin(), named->end(), IsControlByte); control != named->end()) {
      const std::string code = CharacterCode(*control);
      whyNone = std::string(utf16 ? "UTF-16 text: the folder's name holds the control character "
                                  : "the folder's name holds the control character ") +
                code + ", which no name on Windows holds: the remover finds no folder";
      warn(Code::ResourceFolderUnnamable, "the line names a folder whose name holds the control character " + code +
                                              ", which no name on Windows holds: the remover finds no folder there");
      named.reset();
    } else if (!utf16Text) {
      warn(Code::ResourceFolderNotGbk, "the folder is not GBK text: the remover skips it");
    } else if (exists && !exists(shown)) {
      warn(Code::ResourceFolderNotInImage, "names " + shown + ", which the image does not hold: the remover removes it with whatever is in it when it runs");
    }
    check.lines.push_back({number, text, named.value_or(""), whyNone});
  }
  // The whole text: what the remover would read otherwise than it was written, where it starts.
  const auto warnAt = [&](Code code, std::size_t offset, const std::string& message) {
    check.diagnostics.Add(Placed(code, shownAs, all, offset, message));
  };
  if (utf16)
    warnAt(Code::ResourceListUtf16, 0, "UTF-16 text: the remover reads GBK and finds no folder in it; save it as GBK");
  else if (const std::size_t beyond = FirstBeyondAscii(all); beyond != std::string::npos && fw::Utf8ToUtf16(all))
    warnAt(Code::ResourceListUtf8, beyond, "UTF-8 text: the remover reads it as GBK, so names beyond ASCII become other names (\"res_模板\" "
                   "names \"妯℃澘\"); save it as GBK");
  return check;
}

}  // namespace pack
