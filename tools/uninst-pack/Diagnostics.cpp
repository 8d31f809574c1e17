#include "Diagnostics.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>

namespace pack {
namespace {

// Line and column (characters, not bytes) of each of `offsets` (sorted) in `text`, in one pass.
std::vector<std::pair<std::size_t, std::size_t>> LinesAndColumns(std::string_view text,
                                                                 const std::vector<std::size_t>& offsets) {
  std::vector<std::pair<std::size_t, std::size_t>> places;
  std::size_t line = 1, column = 1, i = 0;
  for (const std::size_t offset : offsets) {
    for (; i < offset && i < text.size(); ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
        ++column;
      }
    }
    places.emplace_back(line, column);
  }
  return places;
}

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The offset just past the JSON string that starts (with its quote) at `start`.
std::size_t StringEnd(std::string_view text, std::size_t start) {
  std::size_t i = start + 1;
  while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
  return i + 1;
}

// The text of the JSON string `quoted`, escapes read.
std::string Unquoted(std::string_view quoted) {
  if (quoted.find('\\') == std::string_view::npos) return std::string(quoted.substr(1, quoted.size() - 2));
  return nlohmann::json::parse(quoted).get<std::string>();
}

// The offset just past the array or object that starts at `start`.
std::size_t ContainerEnd(std::string_view text, std::size_t start) {
  std::size_t depth = 0, i = start;
  do {
    if (text[i] == '"') {
      i = StringEnd(text, i);
      continue;
    }
    if (text[i] == '{' || text[i] == '[') ++depth;
    if (text[i] == '}' || text[i] == ']') --depth;
    ++i;
  } while (depth > 0 && i < text.size());
  return i;
}

// How deep a manifest's entries lie: groups[1].files[0] is a value in a value in a value in the
// document. What lies deeper is wrong as a whole, said at its own place, and not looked into.
constexpr std::size_t kDeepest = 4;

// Calls `visit(path, offset, repeatedIn)` for the document, then for each member (at its key) and
// each element (at its value) of the valid JSON text `text`, in text order, down to kDeepest;
// `repeatedIn` is the object's path when the member's key was given before in it, else null.
template <typename Visit>
void ForEachJsonPlace(std::string_view text, Visit visit) {
  struct Level {
    bool array;
    std::string path;
    std::size_t next = 0;             // an array's next index
    std::set<std::string> keys = {};  // an object's keys so far
  };
  std::vector<Level> levels;
  std::size_t i = 0;
  const auto skipSpace = [&] {
    while (i < text.size() && IsJsonSpace(text[i])) ++i;
  };
  for (bool document = true;; document = false) {
    skipSpace();
    while (i < text.size() && (text[i] == ',' || text[i] == '}' || text[i] == ']')) {
      if (text[i] != ',') levels.pop_back();
      ++i;
      skipSpace();
    }
    if (i >= text.size() || (!document && levels.empty())) return;
    std::string path;
    if (document) {
      visit(path, i, nullptr);
    } else if (Level& level = levels.back(); level.array) {
      path = ElementPath(level.path, level.next++);
      visit(path, i, nullptr);
    } else {
      const std::size_t end = StringEnd(text, i);
      std::string key = Unquoted(text.substr(i, end - i));
      path = MemberPath(level.path, key);
      visit(path, i, level.keys.insert(std::move(key)).second ? nullptr : &level.path);
      i = end;
      skipSpace();
      ++i;  // ':'
      skipSpace();
    }
    if (i >= text.size()) return;
    if ((text[i] == '{' || text[i] == '[') && levels.size() == kDeepest) {
      i = ContainerEnd(text, i);
    } else if (text[i] == '{' || text[i] == '[') {
      levels.push_back({text[i] == '[', std::move(path)});
      ++i;
    } else if (text[i] == '"') {
      i = StringEnd(text, i);
    } else {
      while (i < text.size() && !IsJsonSpace(text[i]) && std::strchr(",]}", text[i]) == nullptr) ++i;
    }
  }
}

}  // namespace

void Diagnostics::Error(std::string where, std::string message) {
  Add({Diagnostic::Severity::Error, std::move(where), std::move(message), "", 0, 0});
}

void Diagnostics::Warning(std::string where, std::string message) {
  Add({Diagnostic::Severity::Warning, std::move(where), std::move(message), "", 0, 0});
}

void Diagnostics::Add(Diagnostic diagnostic) {
  if (diagnostic.severity == Diagnostic::Severity::Error) ++errors_;
  list_.push_back(std::move(diagnostic));
}

std::string Format(const Diagnostic& d) {
  std::ostringstream text;
  if (!d.file.empty()) {
    text << d.file;
    if (d.line > 0) text << ':' << d.line << ':' << d.column;
    text << ": ";
  }
  text << (d.severity == Diagnostic::Severity::Error ? "error: " : "warning: ");
  if (!d.where.empty()) text << d.where << ": ";
  text << d.message;
  return text.str();
}

std::string Counted(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string Summary(const Diagnostics& diagnostics) {
  return Counted(diagnostics.Errors(), "error") + ", " + Counted(diagnostics.Warnings(), "warning");
}

void Print(const Diagnostics& diagnostics, std::ostream& out) {
  for (const Diagnostic& d : diagnostics.All()) out << Format(d) << '\n';
}

Diagnostic Placed(Diagnostic::Severity severity, const std::string& file, std::string_view text, std::size_t offset,
                  std::string message) {
  const auto [line, column] = LinesAndColumns(text, {offset}).front();
  return {severity, "", std::move(message), file, line, column};
}

void PlaceInJson(Diagnostics& diagnostics, const std::string& file, std::string_view text) {
  constexpr std::size_t kNowhere = std::string_view::npos;
  // Where each JSON path a diagnostic names is; of a key given twice, the last, which JSON keeps.
  std::unordered_map<std::string, std::size_t> offsets;
  for (const Diagnostic& d : diagnostics.All())
    if (d.line == 0) offsets.try_emplace(d.where, kNowhere);
  std::vector<std::pair<std::size_t, Diagnostic>> repeated;  // at the key given again
  ForEachJsonPlace(text, [&](const std::string& path, std::size_t offset, const std::string* repeatedIn) {
    if (repeatedIn)
      repeated.emplace_back(offset, Diagnostic{Diagnostic::Severity::Error, path,
                                               "the key is given twice in " +
                                                   (repeatedIn->empty() ? std::string("the top level") : *repeatedIn) +
                                                   ": JSON keeps only the last, so one of them is a mistake",
                                               file, 0, 0});
    if (const auto it = offsets.find(path); it != offsets.end()) it->second = offset;
  });
  // Each diagnostic not yet placed, by its offset (and its index), then placed in one pass.
  std::vector<std::pair<std::size_t, std::size_t>> unplaced;
  for (std::size_t k = 0; k < diagnostics.All().size(); ++k) {
    Diagnostic& d = diagnostics.All()[k];
    if (d.line != 0) continue;
    d.file = file;
    if (const std::size_t at = offsets.at(d.where); at != kNowhere) unplaced.emplace_back(at, k);
  }
  for (auto& [offset, d] : repeated) {
    diagnostics.Add(std::move(d));
    unplaced.emplace_back(offset, diagnostics.All().size() - 1);
  }
  std::sort(unplaced.begin(), unplaced.end());
  std::vector<std::size_t> at;
  for (const auto& entry : unplaced) at.push_back(entry.first);
  const auto places = LinesAndColumns(text, at);
  for (std::size_t k = 0; k < unplaced.size(); ++k) {
    Diagnostic& d = diagnostics.All()[unplaced[k].second];
    std::tie(d.line, d.column) = places[k];
  }
  // File by file, each in its own order, as a compiler says them.
  std::vector<Diagnostic>& all = diagnostics.All();
  std::map<std::string, std::size_t> rank;  // file -> when it is first named
  for (const Diagnostic& d : all) rank.try_emplace(d.file, rank.size());
  std::stable_sort(all.begin(), all.end(), [&rank](const Diagnostic& a, const Diagnostic& b) {
    return std::tie(rank.at(a.file), a.line, a.column) < std::tie(rank.at(b.file), b.line, b.column);
  });
}

std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string MemberPath(const std::string& object, const std::string& key) {
  const bool plain = !key.empty() && !std::isdigit(static_cast<unsigned char>(key[0])) &&
                     std::all_of(key.begin(), key.end(), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                     });
  if (!plain) return object + "[" + JsonString(key) + "]";
  return object.empty() ? key : object + "." + key;
}

std::string ElementPath(const std::string& array, std::size_t index) {
  return array + "[" + std::to_string(index) + "]";
}

}  // namespace pack
