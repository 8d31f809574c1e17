#include "JsonSyntax.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace pack {
namespace {

const char* const kBackslashHint = "write each backslash of a path as \\\\ in JSON: \"C:\\\\Program Files\\\\Korvane\"";

// "line 3, column 7" of byte `offset`.
std::string Where(std::string_view text, std::size_t offset) {
  const Diagnostic at = Placed(Code::JsonSyntax, "", text, offset, "");
  return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A character as a message shows it: 'x', or U+0009 for a control character.
std::string Shown(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
  char code[8];
  std::snprintf(code, sizeof code, "U+%04X", u);
  return code;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonProblem> Run() {
    Expect expect = Expect::Value;
    for (;;) {
      while (i_ < text_.size() && IsSpace(text_[i_])) ++i_;
      if (i_ + 1 < text_.size() && text_[i_] == '/' && (text_[i_ + 1] == '/' || text_[i_ + 1] == '*'))
        return Problem(Code::JsonComment, i_, "a comment: JSON has none, neither // nor /* */; remove it");
      if (i_ == text_.size()) {
        if (expect == Expect::End) return std::nullopt;
        if (open_.empty() && expect == Expect::Value)
          return Problem(Code::JsonEndsEarly, i_, "the manifest holds no JSON: it is empty");
        if (open_.empty()) return Problem(Code::JsonEndsEarly, i_, "the manifest ends early");
        const Open& last = open_.back();
        return Problem(Code::JsonEndsEarly, i_,
                       std::string("the manifest ends before the '") + last.kind + "' at " + Where(text_, last.offset) +
                           " is closed",
                       std::string("a closing '") + (last.kind == '{' ? '}' : ']') + "' (or more) is missing");
      }
      const char c = text_[i_];
      switch (expect) {
        case Expect::End:
          return Problem(Code::JsonTextAfterEnd, i_,
                         "text after the end of the manifest, whose JSON ends at " + Where(text_, end_ - 1) +
                             ": remove it (a second manifest, or a stray " + Shown(c) + "?)");
        case Expect::Colon:
          if (c != ':') return Problem(Code::JsonSyntax, i_, "':' is missing between the key and its value");
          ++i_;
          expect = Expect::Value;
          continue;
        case Expect::CommaOrClose: {
          const char close = open_.back().kind == '{' ? '}' : ']';
          const char* what = open_.back().kind == '{' ? "member" : "element";
          if (c == ',') {
            comma_ = i_++;
            expect = open_.back().kind == '{' ? Expect::Key : Expect::Value;
            continue;
          }
          if (c == close) {
            expect = Close();
            continue;
          }
          if (c == '}' || c == ']')
            return Problem(Code::JsonSyntax, i_,
                           Shown(c) + " where the '" + open_.back().kind + "' at " + Where(text_, open_.back().offset) +
                               " is to be closed with '" + close + "'");
          return Problem(Code::JsonSyntax, i_,
                         std::string("a ',' is missing before this ") + what + " (or a '" + close + "' before it)");
        }
        case Expect::Key:
        case Expect::KeyOrClose:
          if (c == '}' && expect == Expect::KeyOrClose) {
            expect = Close();
            continue;
          }
          if (c == '}')
            return Problem(Code::JsonTrailingComma, comma_,
                           "a comma after the last member: JSON allows none before '}'; remove it");
          if (c == '"') {
            if (auto problem = String()) return problem;
            expect = Expect::Colon;
            continue;
          }
          if (c == ',') return Problem(Code::JsonSyntax, i_, "a ',' with no member before it");
          if (c == '\'') return Problem(Code::JsonSyntax, i_, "JSON writes keys in double quotes (\"), not single ones");
          if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
            return Problem(Code::JsonSyntax, i_, "a key without quotes: JSON writes every key in double quotes (\"installDir\")");
          return Problem(Code::JsonSyntax, i_, Shown(c) + " where a key in double quotes is to be");
        case Expect::Value:
        case Expect::ValueOrClose:
          if (c == ']' && expect == Expect::ValueOrClose) {
            expect = Close();
            continue;
          }
          if (c == ']' && !open_.empty() && open_.back().kind == '[')
            return Problem(Code::JsonTrailingComma, comma_,
                           "a comma after the last element: JSON allows none before ']'; remove it");
          if (c == '}' && !open_.empty() && open_.back().kind == '[')
            return Problem(Code::JsonSyntax, i_,
                           "'}' where the '[' at " + Where(text_, open_.back().offset) + " is to be closed with ']'");
          if (c == '{' || c == '[') {
            open_.push_back({c, i_++});
            expect = c == '{' ? Expect::KeyOrClose : Expect::ValueOrClose;
            continue;
          }
          if (auto problem = Scalar()) return problem;
          if (open_.empty()) {
            end_ = i_;
            expect = Expect::End;
          } else {
            expect = Expect::CommaOrClose;
          }
          continue;
      }
    }
  }

 private:
  enum class Expect { Value, ValueOrClose, Key, KeyOrClose, Colon, CommaOrClose, End };
  struct Open {
    char kind;  // '{' or '['
    std::size_t offset;
  };

  std::optional<JsonProblem> Problem(Code code, std::size_t offset, std::string message, std::string hint = "") const {
    return JsonProblem{code, offset, std::move(message), std::move(hint)};
  }

  // Closes the innermost array or object at i_; what may follow it.
  Expect Close() {
    open_.pop_back();
    end_ = ++i_;
    return open_.empty() ? Expect::End : Expect::CommaOrClose;
  }

  // A string, from its opening quote at i_ to past its closing one.
  std::optional<JsonProblem> String() {
    const std::size_t start = i_++;
    for (;;) {
      if (i_ == text_.size())
        return Problem(Code::JsonEndsEarly, i_, "the manifest ends inside the string that starts at " + Where(text_, start),
                       "a closing '\"' is missing");
      const char c = text_[i_];
      if (c == '"') {
        ++i_;
        return std::nullopt;
      }
      if (c == '\n' || c == '\r')
        return Problem(Code::JsonSyntax, i_, "the string that starts at " + Where(text_, start) + " is not closed before the line ends",
                       "a JSON string ends on its own line: close the quote before the line ends");
      if (static_cast<unsigned char>(c) < 0x20)
        return Problem(Code::JsonSyntax, i_, "a control character (" + Shown(c) + ") in a string: JSON writes it escaped (\\t for a tab)");
      if (c != '\\') {
        ++i_;
        continue;
      }
      const char e = i_ + 1 < text_.size() ? text_[i_ + 1] : '\0';
      if (e == 'u') {
        if (auto problem = Unicode()) return problem;
        continue;
      }
      if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == '\0')
        return Problem(Code::JsonSyntax, i_, "'\\" + std::string(1, e) + "' is no JSON escape", kBackslashHint);
      i_ += 2;
    }
  }

  // A \uXXXX escape at i_ (and the second of a UTF-16 pair).
  std::optional<JsonProblem> Unicode() {
    const auto unit = [this](std::size_t at) -> long {
      if (at + 6 > text_.size() || text_[at] != '\\' || text_[at + 1] != 'u') return -1;
      for (std::size_t k = at + 2; k < at + 6; ++k)
        if (!std::isxdigit(static_cast<unsigned char>(text_[k]))) return -1;
      return std::stol(std::string(text_.substr(at + 2, 4)), nullptr, 16);
    };
    const long first = unit(i_);
    if (first < 0) return Problem(Code::JsonSyntax, i_, "'\\u' is not followed by four hexadecimal digits", kBackslashHint);
    if (first >= 0xDC00 && first <= 0xDFFF)
      return Problem(Code::JsonSyntax, i_, "a \\u escape of the second half of a UTF-16 pair without its first half");
    if (first >= 0xD800 && first <= 0xDBFF) {
      const long second = unit(i_ + 6);
      if (second < 0xDC00 || second > 0xDFFF)
        return Problem(Code::JsonSyntax, i_, "a \\u escape of the first half of a UTF-16 pair without its second half");
      i_ += 6;
    }
    i_ += 6;
    return std::nullopt;
  }

  // A string, a number, true, false or null at i_.
  std::optional<JsonProblem> Scalar() {
    const char c = text_[i_];
    if (c == '"') return String();
    if (c == ',') return Problem(Code::JsonSyntax, i_, "a value is missing before this ','");
    if (c == '}' ) return Problem(Code::JsonSyntax, i_, "a value is missing before this '}'");
    if (c == '\'') return Problem(Code::JsonSyntax, i_, "JSON writes text in double quotes (\"), not single ones");
    if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) return Number();
    std::size_t end = i_;
    while (end < text_.size() && std::isalnum(static_cast<unsigned char>(text_[end]))) ++end;
    const std::string word(text_.substr(i_, end - i_));
    if (word == "true" || word == "false" || word == "null") {
      i_ = end;
      return std::nullopt;
    }
    std::string lower = word;
    for (char& l : lower) l = static_cast<char>(std::tolower(static_cast<unsigned char>(l)));
    if (lower == "true" || lower == "false" || lower == "null")
      return Problem(Code::JsonSyntax, i_, "JSON writes " + lower + " in lower case, not " + word);
    if (!word.empty())
      return Problem(Code::JsonSyntax, i_, "the word " + word + " is no JSON value: JSON writes text in double quotes");
    return Problem(Code::JsonSyntax, i_, Shown(c) + " where a value is to be");
  }

  std::optional<JsonProblem> Number() {
    const std::size_t start = i_;
    if (text_[i_] == '+') return Problem(Code::JsonSyntax, i_, "JSON writes a number without a '+'");
    if (text_[i_] == '-') ++i_;
    const auto digits = [this] {
      const std::size_t from = i_;
      while (i_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[i_]))) ++i_;
      return i_ - from;
    };
    const std::size_t whole = i_;
    if (digits() == 0) return Problem(Code::JsonSyntax, start, "a '-' that no digit follows");
    if (text_[whole] == '0' && i_ - whole > 1) return Problem(Code::JsonSyntax, start, "JSON writes a number without leading zeros");
    if (i_ < text_.size() && text_[i_] == '.') {
      ++i_;
      if (digits() == 0) return Problem(Code::JsonSyntax, start, "JSON writes a digit after a number's '.'");
    }
    if (i_ < text_.size() && (text_[i_] == 'e' || text_[i_] == 'E')) {
      ++i_;
      if (i_ < text_.size() && (text_[i_] == '+' || text_[i_] == '-')) ++i_;
      if (digits() == 0) return Problem(Code::JsonSyntax, start, "JSON writes digits after a number's exponent");
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t i_ = 0;
  std::size_t end_ = 0;    // just past the last value closed at the top level
  std::size_t comma_ = 0;  // the last ',' read
  std::vector<Open> open_;
};

}  // namespace

std::optional<JsonProblem> FirstJsonProblem(std::string_view text) { return Reader(text).Run(); }

}  // namespace pack
