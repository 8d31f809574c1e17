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

}  // namespace removal
