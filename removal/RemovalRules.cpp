#include "RemovalRules.h"

#include <vector>

#include "Text.h"

namespace removal {
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

bool IsSingleFolderName(std::string_view name) {
  return !name.empty() && !HasChar(name, "\\/:") && !OnlyDotsAndSpaces(name);
}

std::u16string NamedLines(const std::vector<std::u16string>& names, std::size_t shown) {
  std::u16string lines;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) lines += names[i] + u"\n";
  if (names.size() > shown) {
    const std::string more = std::to_string(names.size() - shown);
    lines += u"……以及其他 " + std::u16string(more.begin(), more.end()) + u" 个\n";
  }
  return lines;
}

std::u16string InUseQuestion(const std::vector<std::u16string>& names) {
  return u"下列文件正被其他程序使用：\n\n" + NamedLines(names) +
         u"\n请关闭这些程序后点击“重试”；点击“忽略”继续卸载，这些文件在重新启动计算机后删除；点击“中止”取消卸载。";
}

std::u16string LeftBehindMessage(const std::vector<std::u16string>& atRestart, const std::vector<std::u16string>& staying) {
  std::u16string text;
  if (!atRestart.empty()) text += u"下列文件正在使用，将在重新启动计算机后删除：\n\n" + NamedLines(atRestart);
  if (!staying.empty()) {
    if (!text.empty()) text += u'\n';
    text += u"下列文件被其他程序占用，未能删除：\n\n";
    text += NamedLines(staying);
  }
  return text;
}

}  // namespace removal
