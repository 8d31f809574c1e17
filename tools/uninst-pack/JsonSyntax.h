#pragma once
// Why a manifest is no JSON, said in a vendor's words: the first mistake of its text, where it is,
// and what usually causes it (a comment, a comma after the last member, text after the end, a
// single backslash in a path), found by a reader of its own so that no parser's wording reaches
// the vendor. Read only once a parser has refused the text.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Diagnostics.h"

namespace pack {

struct JsonProblem {
  Code code;
  std::size_t offset;   // the byte of the text it is said at
  std::string message;  // after "not valid JSON: "
  std::string hint;     // "" or one line
};

// The first mistake of the UTF-8 text `text`; nullopt when it is valid JSON.
std::optional<JsonProblem> FirstJsonProblem(std::string_view text);

}  // namespace pack
