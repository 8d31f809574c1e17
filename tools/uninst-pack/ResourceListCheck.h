#pragma once
// "Resource.ini" read as the remover reads it (GBK text, one line at a time, the line rule against
// the install folder), for uninst-pack to say what it will name before it ships.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Diagnostics.h"

namespace pack {

struct ResourceListLine {
  std::size_t line;     // 1-based
  std::string text;     // the line as the file holds it
  std::string folder;   // the folder it names (GBK), or "" when the remover finds none through it
  std::string whyNone;  // when `folder` is "": why, in words
};

struct ResourceListCheck {
  std::vector<ResourceListLine> lines;  // the lines that hold '=', in order
  Diagnostics diagnostics;  // warnings, each at its line of the file
};

// Reads the Resource.ini at `path` for the install folder `installFolderGbk` (GBK, with a trailing
// separator). Warns of text the remover would read otherwise than written (UTF-16, in which it
// finds no folder; UTF-8 beyond ASCII, whose bytes GBK reads as other characters: "res_模板" names
// "妯℃澘"), of a line with '=' that names no folder strictly inside the install folder or one whose
// name holds a control character (no name on Windows does, so the remover finds nothing there),
// and, when `exists` is given, of a folder it names that `exists` (given the folder's UTF-8 path)
// does not find. `shownAs` names the file in the warnings. Throws InputError when the file cannot
// be read.
ResourceListCheck CheckResourceList(const std::string& path, const std::string& installFolderGbk, const std::string& shownAs,
                                    const std::function<bool(const std::string& folderUtf8)>& exists = nullptr);

}  // namespace pack
