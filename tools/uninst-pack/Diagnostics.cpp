#include "Diagnostics.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
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

Diagnostic::Severity SeverityOf(Code code) {
  const auto number = static_cast<unsigned>(code);
  return number >= 2000 && number < 3000 ? Diagnostic::Severity::Warning : Diagnostic::Severity::Error;
}

}  // namespace

std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}

std::string CodeText(Code code) {
  return "UP" + std::to_string(static_cast<unsigned>(code));
}

std::optional<Code> WarningCode(std::string_view text) {
  if (text.size() > 2 && (text[0] == 'U' || text[0] == 'u') && (text[1] == 'P' || text[1] == 'p')) text.remove_prefix(2);
  for (const Code code : kWarnings)
    if (text == std::to_string(static_cast<unsigned>(code))) return code;
  return std::nullopt;
}

void Diagnostics::Add(Code code, std::string where, std::string message, std::string hint) {
  Add({code, SeverityOf(code), std::move(where), std::move(message), "", 0, 0, std::move(hint)});
}

void Diagnostics::Add(Diagnostic diagnostic) {
  if (diagnostic.severity == Diagnostic::Severity::Error) ++errors_;
  list_.push_back(std::move(diagnostic));
}

void Diagnostics::TurnOff(const std::set<Code>& codes) {
  if (codes.empty()) return;
  const auto off = [&codes](const Diagnostic& d) {
    return d.severity == Diagnostic::Severity::Warning && codes.count(d.code) > 0;
  };
  const auto kept = std::remove_if(list_.begin(), list_.end(), off);
  turnedOff_ += static_cast<std::size_t>(list_.end() - kept);
  list_.erase(kept, list_.end());
}

void Diagnostics::WarningsAsErrors() {
  for (Diagnostic& d : list_) d.severity = Diagnostic::Severity::Error;
  errors_ = list_.size();
}

std::string Printable(std::string_view text) {
  // Most text is plain ASCII, printed as it is.
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char escape[8];
    if (c < 0x20 || c == 0x7F) {
      const char* shortForm = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\b' ? "\\b" : c == '\f' ? "\\f" : nullptr;
      if (shortForm == nullptr) std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += shortForm ? shortForm : escape;
      ++i;
      continue;
    }
    const std::size_t length = Utf8Length(text, i);
    // C1 controls (U+0080-U+009F) are control characters too, to a terminal.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      if (c1) {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
        i += 2;
      } else {
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        ++i;
      }
      out += escape;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

std::string Format(const Diagnostic& d) {
  std::string text = d.file.empty() ? std::string("uninst-pack") : Printable(d.file);
  if (!d.file.empty() && d.line > 0) text += ':' + std::to_string(d.line) + ':' + std::to_string(d.column);
  text += d.severity == Diagnostic::Severity::Error ? ": error: [" : ": warning: [";
  text += CodeText(d.code) + "] ";
  if (!d.where.empty()) text += Printable(d.where) + ": ";
  text += Printable(d.message);
  if (!d.hint.empty()) text += "\n  hint: " + Printable(d.hint);
  return text;
}

std::string FormatJson(const Diagnostic& d) {
  const auto orNull = [](const std::string& text) { return text.empty() ? nlohmann::json() : nlohmann::json(text); };
  const auto number = [](std::size_t n) { return n == 0 ? nlohmann::json() : nlohmann::json(n); };
  const nlohmann::ordered_json line = {
      {"severity", d.severity == Diagnostic::Severity::Error ? "error" : "warning"},
      {"code", CodeText(d.code)},
      {"file", orNull(d.file)},
      {"line", number(d.line)},
      {"column", number(d.column)},
      {"path", orNull(d.where)},
      {"message", d.message},
      {"hint", orNull(d.hint)},
  };
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Counted(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string WarningsCounted(const Diagnostics& diagnostics) {
  std::string text = Counted(diagnostics.Warnings(), "warning");
  if (diagnostics.TurnedOff() > 0) text += " (" + std::to_string(diagnostics.TurnedOff()) + " more turned off)";
  return text;
}

std::string Summary(const Diagnostics& diagnostics) {
  return Counted(diagnostics.Errors(), "error") + ", " + WarningsCounted(diagnostics);
}

void Reporter::Say(Diagnostics& diagnostics) {
  diagnostics.TurnOff(options_.turnedOff);
  std::size_t errors = 0, said = 0;
  for (const Diagnostic& d : diagnostics.All()) {
    const bool error = d.severity == Diagnostic::Severity::Error;
    if (error && options_.maxErrors > 0 && errors == options_.maxErrors) break;
    errors += error ? 1 : 0;
    ++said;
    if (!error && options_.quiet) continue;
    out_ << (options_.json ? FormatJson(d) : Format(d)) << '\n';
  }
  if (said == diagnostics.All().size()) return;
  std::size_t moreErrors = diagnostics.Errors() - errors;
  std::size_t moreWarnings = diagnostics.All().size() - said - moreErrors;
  std::string more = "stopped after " + Counted(errors, "error") + " (--max-errors): " + Counted(moreErrors, "more error");
  if (!options_.quiet) more += " and " + Counted(moreWarnings, "more warning");
  Note(more + " not shown");
}

void Reporter::Count(const Diagnostics& diagnostics, const std::string& more) {
  if (options_.quiet || options_.json) return;
  out_ << "uninst-pack: " << Summary(diagnostics) << more << '\n';
}

void Reporter::Note(const std::string& text) {
  if (options_.quiet && text.rfind("stopped after", 0) != 0) return;
  if (options_.json)
    out_ << nlohmann::ordered_json{{"severity", "note"}, {"message", text}}.dump(-1, ' ', false,
                                                                                 nlohmann::json::error_handler_t::replace)
         << '\n';
  else
    out_ << "uninst-pack: " << Printable(text) << '\n';
}

void Reporter::Error(Code code, const std::string& message) {
  Diagnostics one;
  one.Add(code, "", message);
  Say(one);
}

Diagnostic Placed(Code code, const std::string& file, std::string_view text, std::size_t offset, std::string message,
                  std::string hint) {
  const auto [line, column] = LinesAndColumns(text, {offset}).front();
  return {code, SeverityOf(code), "", std::move(message), file, line, column, std::move(hint)};
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
      repeated.emplace_back(offset, Diagnostic{Code::KeyTwice, Diagnostic::Severity::Error, path,
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
