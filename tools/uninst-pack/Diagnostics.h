#pragma once
// What uninst-pack finds wrong in its inputs (errors: nothing is written) or doubtful (warnings),
// all of them in one run, each said as a compiler says it,
//   FILE:LINE:COLUMN: error|warning: JSON.PATH: message
// then counted ("2 errors, 1 warning").
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct Diagnostic {
  enum class Severity { Error, Warning };
  Severity severity;
  std::string where;    // the entry's JSON path ("groups[1].files[0]"); "" for the document or a text file's line
  std::string message;
  std::string file;     // the input it is in
  std::size_t line = 0;    // 1-based; 0 until placed
  std::size_t column = 0;  // 1-based, in characters
};

class Diagnostics {
 public:
  void Error(std::string where, std::string message);
  void Warning(std::string where, std::string message);
  // One already placed in its file (a line of Resource.ini).
  void Add(Diagnostic diagnostic);

  std::size_t Errors() const { return errors_; }
  std::size_t Warnings() const { return list_.size() - errors_; }
  std::vector<Diagnostic>& All() { return list_; }
  const std::vector<Diagnostic>& All() const { return list_; }

 private:
  std::vector<Diagnostic> list_;
  std::size_t errors_ = 0;
};

// "FILE:LINE:COLUMN: error: WHERE: message"; the parts not known are left out.
std::string Format(const Diagnostic& diagnostic);
// "2 errors, 1 warning".
std::string Summary(const Diagnostics& diagnostics);
// "1 warning", "3 files".
std::string Counted(std::size_t count, const std::string& noun);
// Every diagnostic, a line each (a message's own further lines indented), in the order found.
void Print(const Diagnostics& diagnostics, std::ostream& out);

// A diagnostic at byte `offset` of the text `text` of `file`.
Diagnostic Placed(Diagnostic::Severity severity, const std::string& file, std::string_view text, std::size_t offset,
                  std::string message);

// Places the diagnostics not yet placed in the JSON text `text` (one that parsed), named `file`:
// each at its entry (a member at its key, an element at its value), and adds an error for each key
// given twice in one object (JSON keeps only one of them).
void PlaceInJson(Diagnostics& diagnostics, const std::string& file, std::string_view text);

// A text as JSON writes it, quoted, control characters escaped: how a key is shown.
std::string JsonString(const std::string& text);
// The JSON paths the diagnostics use: "installDir", "groups[1]", "groups[1].files[0]"; a key that
// is not a plain name in brackets, as JSON writes it: groups[1]["a.b"], ["groups[0]"].
std::string MemberPath(const std::string& object, const std::string& key);
std::string ElementPath(const std::string& array, std::size_t index);

}  // namespace pack
