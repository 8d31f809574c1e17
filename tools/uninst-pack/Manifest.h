#pragma once
// The vendor's manifest: read from UTF-8 JSON, checked against what the remover will do with
// it, and turned into the payload's records (GBK).
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "Records.h"

namespace pack {

using Json = nlohmann::ordered_json;

// A bad input (a launcher, a payload, an output, or an entry of a manifest as its checks find it),
// with its diagnostic's code: the message goes to stderr and the tool exits with 1, having
// written nothing.
struct InputError : std::runtime_error {
  InputError(Code c, const std::string& message) : std::runtime_error(message), code(c) {}
  Code code;
};

// `field` names the text in messages ("groups[2].files[7]").
std::string Utf8ToGbk(const std::string& utf8, const std::string& field);
std::string GbkToUtf8(const std::string& gbk, const std::string& field);
// UTF-16 text of the remover's as UTF-8 ("?" for text that is not UTF-16).
std::string Utf8(std::u16string_view utf16);
// A byte of a control character (below 0x20, or DEL): in UTF-8 and GBK no other character has
// one. No name on Windows holds one.
bool IsControlByte(char c);
// "U+0009" for the byte of an ASCII character.
std::string CharacterCode(char c);
// The comparable form (fw::FullPath) of a UTF-8 path; "" for one that is no full path.
std::u16string ComparableUtf8(const std::string& utf8);

// Checks an install folder as CheckManifestText checks installDir (InputError for the first check
// it fails).
void CheckInstallDir(const std::string& utf8);

// The records, and every error and warning about them, each naming its entry by its JSON path.
// The records are the payload's only when there is no error.
struct CheckedManifest {
  payload::RemovalRecords records;
  Diagnostics diagnostics;
};

// The bytes of the manifest `path` ("-": standard input), read once, whatever it is (a file, a
// FIFO, a pipe); InputError when it cannot be read (a folder, say).
std::string ReadManifestBytes(const std::string& path);
// The manifest's name in diagnostics: `path`, "<stdin>" for "-".
std::string ManifestName(const std::string& path);

// Checks the bytes of a manifest: UTF-8 (a UTF-16 or other code page text is named as such), JSON
// (a syntax error with a hint), then each entry for what the remover would act on wrongly or not
// at all, or what would harm the machine (errors): control characters, paths that are not plain
// full Windows paths or hold names Windows forbids, places of the system's, group folders and an
// install folder the remover's guard refuses, a Start-menu folder name that is not a single name
// of the product's own, keys missing or given twice. Warns of what is likely a mistake. Every
// diagnostic is placed at its line and column of the text, named `path`.
CheckedManifest CheckManifestText(std::string bytes, const std::string& path);

}  // namespace pack
