#include "Manifest.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <map>
#include <unordered_map>
#include <set>
#include <sstream>

#include "Diagnostics.h"
#include "FolderGuard.h"
#include "FullPath.h"
#include "JsonSyntax.h"
#include "RemovalRules.h"
#include "StandardLayout.h"
#include "Text.h"

namespace pack {
namespace {

// A manifest as read: its objects' keys in a search tree, so that one with very many keys is
// parsed in n log n (ordered_json looks each key up one after another).
using ReadJson = nlohmann::json;

// The longest path, in GBK bytes, the remover acts on (it skips 260 bytes and more, MAX_PATH).
constexpr std::size_t kMaxRemoverPath = 259;
// The longest name NTFS and FAT hold, in UTF-16 code units.
constexpr std::size_t kMaxName = 255;

std::u16string Utf16(const std::string& utf8) { return fw::Utf8ToUtf16(utf8).value_or(u""); }

// The GBK text the payload holds for a UTF-8 one, when GBK has its characters.
std::optional<std::string> Gbk(const std::string& utf8) {
  const auto utf16 = fw::Utf8ToUtf16(utf8);
  return utf16 ? fw::Utf16ToGbk(*utf16) : std::nullopt;
}

std::string Quoted(const std::string& utf8) { return "\"" + utf8 + "\""; }

// The control characters a JSON escape makes of a backslash and a letter: a path typed with
// single backslashes ("bin\render.dll") holds one of these where the backslash was.
const char* EscapeLetter(char c) {
  switch (c) {
    case '\b': return "b";
    case '\t': return "t";
    case '\n': return "n";
    case '\f': return "f";
    case '\r': return "r";
  }
  return nullptr;
}

// Control characters are in no name Windows makes, and broken lines wherever they are printed.
void RefuseControlCharacters(const std::string& utf8) {
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (!IsControlByte(utf8[i])) continue;
    const std::string code = CharacterCode(utf8[i]);
    std::string shown = utf8;
    for (char& s : shown)
      if (static_cast<unsigned char>(s) < 0x20 || s == 0x7F) s = '?';
    std::string msg = std::string("holds the control character ") + code + " (shown as '?'): " + Quoted(shown);
    if (const char* letter = EscapeLetter(utf8[i]))
      msg += std::string(". In JSON a backslash followed by '") + letter +
             "' is that character: write each backslash of a path as \\\\ (\"C:\\\\Program Files\\\\Korvane\")";
    throw InputError(Code::ControlCharacter, msg);
  }
}

// The remover runs with its staging folder as its current folder and joins nothing onto a
// listed path, so every path must name one place by itself: "X:\..." or "\\server\share...",
// with no ".." component. Checked on the UTF-8 text, where a separator byte is always one.
void RequireFullPath(const std::string& utf8) {
  // Two separators then a third is no server name.
  const bool noServer = utf8.size() > 2 && fw::IsPathSeparator(utf8[0]) && fw::IsPathSeparator(utf8[2]);
  if (!fw::IsFullyQualified(std::string_view(utf8)) || noServer)
    throw InputError(Code::NotFullPath, "is not a full Windows path (drive and separator, or \\\\server\\share): " + Quoted(utf8));
  std::size_t start = 0;
  for (std::size_t i = 0; i <= utf8.size(); ++i) {
    if (i < utf8.size() && !fw::IsPathSeparator(utf8[i])) continue;
    if (utf8.compare(start, i - start, "..") == 0 && i - start == 2)
      throw InputError(Code::DotDotComponent, "has a '..' component: " + Quoted(utf8));
    start = i + 1;
  }
}

// A device's name, with any extension: "CON", "nul.dll", "com1.txt" (Windows reads the part
// before the first dot, in any case).
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' && base[3] <= '9';
}

// A name of the short (8.3) form Windows makes for long ones: at most eight characters with a '~'
// and digits at their end ("PROGRA~1", "KORVAN~2.EXE"), then at most three after a dot.
bool LooksLikeShortName(const std::string& name) {
  const std::size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  if (dot != std::string::npos && (name.size() - dot - 1 > 3 || name.find('.', dot + 1) != std::string::npos))
    return false;
  const std::size_t tilde = base.rfind('~');
  if (base.size() > 8 || tilde == std::string::npos || tilde == 0 || tilde + 1 == base.size()) return false;
  return base.find_first_not_of("0123456789", tilde + 1) == std::string::npos;
}

// A name Windows would store as written: none of <>:"|?*, not ending in a dot or a space (which
// Windows drops, so the name on disk differs), at most 255 characters.
void RequireWindowsName(const std::string& name, const std::string& whole) {
  const auto bad = name.find_first_of("<>:\"|?*");
  if (bad != std::string::npos)
    throw InputError(Code::ForbiddenCharacter, std::string("has the character '") + name[bad] +
                     "', which Windows does not allow in names: " + Quoted(whole));
  if (!name.empty() && (name.back() == '.' || name.back() == ' '))
    throw InputError(Code::TrimmedName, "has the name " + Quoted(name) +
                     ", which ends in a dot or a space: Windows drops those, so no file of that name exists: " +
                     Quoted(whole));
  if (const std::size_t length = Utf16(name).size(); length > kMaxName)
    throw InputError(Code::NameTooLong, "has a name of " + std::to_string(length) +
                     " characters; Windows allows at most " + std::to_string(kMaxName) + ": " + Quoted(whole));
  if (IsDeviceName(name))
    throw InputError(Code::DeviceName, "has the name " + Quoted(name) +
                     ", a device's (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension): Windows opens the device, "
                     "not a file: " + Quoted(whole));
  if (LooksLikeShortName(name))
    throw InputError(Code::ShortName, "has the name " + Quoted(name) +
                     ", which looks like a short (8.3) name: the remover judges the names as written, so write the "
                     "long name: " + Quoted(whole));
}

enum class PathRole { Folder, File };

// A path the remover acts on: a plain full path (what fw::FullPath::Parse takes; the remover skips
// anything else) whose names Windows allows; a file's path names a file below a root.
fw::FullPath RequirePlainPath(const std::string& utf8, PathRole role) {
  RequireFullPath(utf8);
  const auto parts = fw::FullPath::Parse(Utf16(utf8));
  if (!parts || parts->WrittenAsDevice()) {
    // A name Windows would store otherwise (a trailing dot or space) says so itself.
    std::string name;
    for (const char c : utf8 + "\\") {
      if (!fw::IsPathSeparator(c)) {
        name += c;
        continue;
      }
      if (fw::IsTrimmedName(std::string_view(name)) && name.find_first_not_of(". ") != std::string::npos)
        RequireWindowsName(name, utf8);
      name.clear();
    }
    const char* why = fw::KindOf(std::string_view(utf8)) == fw::PathKind::Device
                          ? "is a device path (\\\\?\\ or \\\\.\\): the remover acts only on X:\\... and \\\\server\\share\\... paths: "
                          : "names no share (\\\\server\\share\\...) or has a name of only dots and spaces: ";
    throw InputError(Code::NotPlainPath, why + Quoted(utf8));
  }
  for (const std::u16string& name : parts->Names()) RequireWindowsName(Utf8(name), utf8);
  if (role == PathRole::File) {
    if (parts->IsRoot()) throw InputError(Code::NoFileName, "names no file, only a root: " + Quoted(utf8));
    if (fw::IsPathSeparator(utf8.back()))
      throw InputError(Code::NoFileName, "ends in a separator, but a file's path ends in its name: " + Quoted(utf8));
  }
  return *parts;
}

// A folder the remover's guard would leave alone is one the vendor meant to be removed and will
// not be (or, without the guard, one whose loss would be a disaster); a file in such a folder, or
// anything in a place of the system's, is no product's.
void RefuseGuarded(const fw::FullPath& path, const std::string& utf8, PathRole role, const char* what) {
  if (role == PathRole::Folder)
    if (const std::string why = WhyRefused(path); !why.empty())
      throw InputError(Code::GuardedFolder, Quoted(utf8) + " is a folder the remover refuses " + what + ": " + why);
  if (const std::string why = WhySystemPlace(path); !why.empty())
    throw InputError(Code::SystemPlace, Quoted(utf8) + " lies in " + why + ": no product's file is there");
  // (A file at a drive's root lies outside the install folder, and is warned of as such.)
  if (role == PathRole::File && !path.Parent().IsRoot())
    if (const std::string why = WhyRefused(path.Parent()); !why.empty())
      throw InputError(Code::FileInSystemFolder, Quoted(utf8) + " is a file in a folder of the system's (" + why +
                       "): no product's file is there");
}

// The Start-menu folder is one name in the Programs folder, the product's own: the remover
// judges it through the same guard, in the user's and in the all-users Programs folder.
void CheckProgramFolderName(const std::string& utf8, const std::string& gbk) {
  if (utf8.empty()) return;  // no Start-menu folder
  if (!removal::IsSingleFolderName(gbk))
    throw InputError(Code::NotSingleFolderName, "must be a single folder name in the Start menu's Programs folder (no '\\', "
                     "'/', ':', not \".\" or \"..\"): " + Quoted(utf8));
  RequireWindowsName(utf8, utf8);
  for (const std::u16string_view programs : {kUserPrograms, kCommonPrograms}) {
    const auto path = fw::FullPath::Parse(std::u16string(programs) + u"\\" + Utf16(utf8));
    if (const std::string why = path ? WhyRefused(*path) : "a name Windows would trim"; !why.empty())
      throw InputError(Code::SystemStartMenuFolder, Quoted(utf8) + " names a folder of the system's in the Start menu (" + why + "): use the product's own name");
  }
}

// The keys of the manifest's objects: the top level's, and a group's.
const std::vector<std::string> kTopKeys = {"programFolderName", "installDir", "finalFile", "groups"};
const std::vector<std::string> kGroupKeys = {"folder", "files"};

// Edits (insertions, deletions, substitutions) between two keys.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The key of `candidates` nearest to `key` when it is near enough to be a typo of it (case aside:
// "INSTALLDIR" is one of "installDir"), else "".
std::string NearestKey(const std::string& key, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = 3;  // at most two edits
  for (const std::string& candidate : candidates)
    if (const std::size_t d = Distance(Lower(key), Lower(candidate)); d < bestDistance) best = candidate, bestDistance = d;
  return best;
}

// What a key near `known` is, in words (`guess` unless they differ only in case): keys are told
// apart by case, so "INSTALLDIR" is no less a typo of "installDir".
std::string TypoOf(const std::string& key, const std::string& known, const std::string& guess) {
  return Lower(key) == Lower(known) ? "keys are told apart by case: write \"" + known + "\"" : guess;
}

// Keys of `object` that are none of `known`: warned of, with the known key they are likely a typo
// of (unless that one is missing: its error names the typo).
void WarnUnknownKeys(const ReadJson& object, const std::vector<std::string>& known, const std::string& where,
                     Diagnostics& diagnostics) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (std::find(known.begin(), known.end(), it.key()) != known.end()) continue;
    const std::string nearest = NearestKey(it.key(), known);
    if (!nearest.empty() && !object.contains(nearest)) continue;
    diagnostics.Add(Code::UnknownKey, MemberPath(where, it.key()),
                    "unknown key " + JsonString(it.key()) + (nearest.empty() ? "" : " (" + TypoOf(it.key(), nearest, "did you mean \"" + nearest + "\"?") + ")") +
                        ": it is ignored");
  }
}

// The member `key` of `object` (at JSON path `where`), or null when it is missing or not of `type`,
// which is then an error.
const ReadJson* Field(const ReadJson& object, const char* key, ReadJson::value_t type, const std::string& where,
                  Diagnostics& diagnostics) {
  const auto it = object.find(key);
  const std::string name = MemberPath(where, key);
  if (it == object.end()) {
    for (auto other = object.begin(); other != object.end(); ++other)
      if (NearestKey(other.key(), {key}) == key) {
        diagnostics.Add(Code::MissingKey, MemberPath(where, other.key()),
                        std::string("missing field \"") + key + "\" (the manifest has " + JsonString(other.key()) + ": " +
                            TypoOf(other.key(), key, "a typo of it?") + ")");
        return nullptr;
      }
    diagnostics.Add(Code::MissingKey, where, std::string("missing field \"") + key + "\"");
    return nullptr;
  }
  if (it->type() != type) {
    diagnostics.Add(Code::WrongType, name, type == ReadJson::value_t::string ? "must be a string" : "must be an array");
    return nullptr;
  }
  return &*it;
}

// An entry that passed its checks, as the warnings look at it.
struct PassedEntry {
  std::string_view utf8;     // as the manifest holds it
  std::u16string comparable;  // its path's comparable form; "" for an empty folder or finalFile
  std::size_t gbkBytes = 0;   // its length in the payload
};
struct PassedGroup {
  std::optional<PassedEntry> folder;
  std::optional<fw::FullPath> folderPath;
  std::vector<std::pair<std::size_t, PassedEntry>> files;  // with their index in the group's files
};
// Every entry that passed, each parsed once by its checks.
struct Passed {
  std::optional<PassedEntry> install, finalFile;
  std::vector<PassedGroup> groups;  // one per group, in order
};

// A group folder directly in a drive's root or in Program Files that is not the install folder nor
// inside it is another product's: the remover removes it only when it is empty, so the vendor who
// lists it meant something else (the product's own folder inside it, most likely).
void RefuseAnotherProductsPlace(const fw::FullPath& path, const std::string& utf8, const std::optional<PassedEntry>& install) {
  if (!install) return;  // installDir is missing or wrong: its own error says so
  const std::vector<std::u16string> installFolder = {install->comparable};
  if (const std::string why = WhyAnotherProductsPlace(path, installFolder); !why.empty())
    throw InputError(Code::AnotherProductsFolder,
                     Quoted(utf8) + " is " + why + ": the remover only removes it when it is empty; list the product's own folder");
}

// What is doubtful but may be meant, among the entries that passed: entries outside the install
// folder, the same file twice, a group folder that does not hold its files, paths the remover
// skips for their length, groups in an order that leaves a folder.
void Warn(const Passed& passed, Diagnostics& diagnostics) {
  // Each takes the entry's field as a function: its text is made only for a warning.
  const auto outside = [&](const PassedEntry& entry, const auto& field, bool folder) {
    if (!passed.install || entry.comparable.empty()) return;
    const std::u16string& install = passed.install->comparable;
    if (fw::IsBelow(entry.comparable, install) || (folder && entry.comparable == install)) return;
    diagnostics.Add(Code::OutsideInstallDir, field(), Quoted(std::string(entry.utf8)) + " lies outside installDir " +
                                     Quoted(std::string(passed.install->utf8)));
  };
  const auto tooLong = [&](const PassedEntry& entry, const auto& field) {
    if (entry.gbkBytes > kMaxRemoverPath)
      diagnostics.Add(Code::PathTooLong, field(), "is " + std::to_string(entry.gbkBytes) + " bytes long as GBK: the remover skips paths of " +
                                     std::to_string(kMaxRemoverPath + 1) + " bytes or more, so it stays: " +
                                     Quoted(std::string(entry.utf8)));
  };
  const auto folderField = [](std::size_t g) { return MemberPath(ElementPath("groups", g), "folder"); };
  const auto fileField = [](std::size_t g, std::size_t f) {
    return ElementPath(MemberPath(ElementPath("groups", g), "files"), f);
  };

  const auto finalFileField = [] { return std::string("finalFile"); };
  if (passed.finalFile) {
    outside(*passed.finalFile, finalFileField, false);
    tooLong(*passed.finalFile, finalFileField);
  }
  std::unordered_map<std::u16string_view, std::pair<std::size_t, std::size_t>> seen;  // file -> group, index
  seen.reserve(passed.groups.size() * 16);
  for (std::size_t g = 0; g < passed.groups.size(); ++g) {
    const PassedGroup& group = passed.groups[g];
    const auto thisFolder = [&] { return folderField(g); };
    if (group.folder) {
      outside(*group.folder, thisFolder, true);
      tooLong(*group.folder, thisFolder);
    }
    std::vector<std::string> notHeld;
    for (const auto& [f, file] : group.files) {
      const auto thisFile = [&, f = f] { return fileField(g, f); };
      outside(file, thisFile, false);
      tooLong(file, thisFile);
      if (group.folderPath && !fw::IsBelow(file.comparable, group.folderPath->Comparable()))
        notHeld.push_back(fileField(g, f));
      const auto [it, added] = seen.try_emplace(file.comparable, g, f);
      if (!added)
        diagnostics.Add(Code::ListedTwice, fileField(g, f), Quoted(std::string(file.utf8)) +
                                                 (it->second.first == g ? " is listed twice in its group, first as "
                                                                        : " is listed in two groups, first as ") +
                                                 fileField(it->second.first, it->second.second) +
                                                 " (names compare without case)");
    }
    if (!notHeld.empty())
      diagnostics.Add(Code::FolderNotParent, folderField(g), Quoted(std::string(group.folder->utf8)) + " is not a parent of " +
                                              notHeld.front() +
                                              (notHeld.size() > 1 ? " and " + std::to_string(notHeld.size() - 1) +
                                                                        " more of its files"
                                                                  : "") +
                                              ": the folder is removed at the end, its files wherever they are");
  }
  // The remover takes the group folders from the last group to the first: a folder that holds the
  // folder of an earlier group comes first, before what is inside it is gone.
  std::map<std::u16string_view, std::size_t> groupOf;  // comparable folder -> its first group
  for (std::size_t g = 0; g < passed.groups.size(); ++g)
    if (passed.groups[g].folderPath) groupOf.try_emplace(passed.groups[g].folderPath->Comparable(), g);
  std::map<std::size_t, std::vector<std::size_t>> earlierInside;  // group -> earlier groups inside its folder
  for (std::size_t g = 0; g < passed.groups.size(); ++g) {
    const std::optional<fw::FullPath>& folder = passed.groups[g].folderPath;
    if (!folder) continue;
    for (fw::FullPath parent = folder->Parent(); !parent.IsRoot(); parent = parent.Parent()) {
      const auto it = groupOf.find(parent.Comparable());
      if (it == groupOf.end() || it->second <= g) continue;
      earlierInside[it->second].push_back(g);
      break;
    }
  }
  for (const auto& [g, inside] : earlierInside)
    diagnostics.Add(Code::FolderAfterInner, folderField(g),
                        Quoted(std::string(passed.groups[g].folder->utf8)) + " holds " + folderField(inside.front()) +
                            (inside.size() > 1 ? " and " + Counted(inside.size() - 1, "more folder") : "") +
                            " of the groups before it: the remover removes the folders from the last group to the "
                            "first, so with 否 it is not empty yet when its turn comes, and stays: put it before the "
                            "folders inside it");
}

// The offset of the first byte of `text` that is no part of a UTF-8 character.
std::size_t FirstNonUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) return i;
    i += length;
  }
  return i;
}

// The text of a manifest as UTF-8, or nothing, with an error that says to save it as UTF-8.
std::optional<std::string> AsUtf8(std::string text, const std::string& path, Diagnostics& diagnostics) {
  const std::string fix = ": save the manifest as UTF-8";
  const auto refuse = [&](std::size_t offset, const std::string& message) {
    diagnostics.Add(Placed(Code::NotUtf8, path, text, offset, message + fix));
    return std::nullopt;
  };
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    return refuse(0, "UTF-16 text (it starts with a UTF-16 byte order mark)");
  if (const std::size_t zero = text.find('\0'); zero != std::string::npos)
    return refuse(zero, "holds zero bytes, as UTF-16 text does");
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a UTF-8 byte order mark says nothing more
  if (const std::size_t bad = FirstNonUtf8(text); bad < text.size() || !fw::Utf8ToUtf16(text))
    return refuse(bad < text.size() ? bad : 0, "not UTF-8 text (GBK or another code page?)");
  return text;
}

}  // namespace

std::string Utf8(std::u16string_view utf16) { return fw::Utf16ToUtf8(utf16).value_or("?"); }

bool IsControlByte(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string CharacterCode(char c) {
  char code[8];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned char>(c));
  return code;
}

std::u16string ComparableUtf8(const std::string& utf8) {
  const auto path = fw::FullPath::Parse(Utf16(utf8));
  return path ? path->Comparable() : u"";
}

std::string Utf8ToGbk(const std::string& utf8, const std::string& field) {
  auto gbk = Gbk(utf8);
  if (!gbk) throw InputError(Code::NotGbk, field + " has characters that GBK cannot represent: " + Quoted(utf8));
  return *gbk;
}

std::string GbkToUtf8(const std::string& gbk, const std::string& field) {
  const auto utf16 = fw::GbkToUtf16(gbk);
  std::optional<std::string> utf8;
  if (utf16) utf8 = fw::Utf16ToUtf8(*utf16);
  if (!utf8) throw InputError(Code::PayloadNotGbk, "payload: " + field + " is not GBK text");
  return *utf8;
}

namespace {

enum class Rule { Name, Install, FileOrEmpty, FolderOrEmpty, File };

struct CheckedText {
  std::string gbk;                  // as the payload holds it
  std::optional<fw::FullPath> path;  // parsed, for a path that is not empty
};

// The checks of one text of a manifest by what it is (InputError for the first it fails).
CheckedText CheckText(const std::string& utf8, Rule rule) {
  RefuseControlCharacters(utf8);
  const bool empty = utf8.empty() && (rule == Rule::FileOrEmpty || rule == Rule::FolderOrEmpty);
  const PathRole role = rule == Rule::File || rule == Rule::FileOrEmpty ? PathRole::File : PathRole::Folder;
  std::optional<fw::FullPath> path;
  if (rule != Rule::Name && !empty) path = RequirePlainPath(utf8, role);
  std::optional<std::string> gbk = Gbk(utf8);
  if (!gbk) throw InputError(Code::NotGbk, "has characters that GBK cannot represent: " + Quoted(utf8));
  if (rule == Rule::Name) CheckProgramFolderName(utf8, *gbk);
  if (path) RefuseGuarded(*path, utf8, role, rule == Rule::Install ? "as an install folder" : "to remove");
  return {std::move(*gbk), std::move(path)};
}

// Checks the entries of a manifest (CheckManifestText).
CheckedManifest CheckManifest(const ReadJson& doc) {
  CheckedManifest checked;
  Diagnostics& diagnostics = checked.diagnostics;
  if (!doc.is_object()) {
    diagnostics.Add(Code::WrongType, "", "the top level must be an object");
    return checked;
  }
  Passed passed;
  // A text's GBK form, and `entry` (when given) made of what passed; or "" and an error of the entry.
  const auto text = [&](const ReadJson& value, const std::string& field, Rule rule, std::optional<PassedEntry>* entry,
                        std::optional<fw::FullPath>* kept = nullptr) -> std::string {
    try {
      const std::string& utf8 = value.get_ref<const std::string&>();
      CheckedText checkedText = CheckText(utf8, rule);
      if (checkedText.path && rule == Rule::FolderOrEmpty) RefuseAnotherProductsPlace(*checkedText.path, utf8, passed.install);
      if (entry && checkedText.path) *entry = PassedEntry{utf8, checkedText.path->Comparable(), checkedText.gbk.size()};
      if (kept) *kept = std::move(checkedText.path);
      return std::move(checkedText.gbk);
    } catch (const InputError& e) {
      diagnostics.Add(e.code, field, e.what());
      return "";
    }
  };
  const auto field = [&](const ReadJson& object, const char* key, const std::string& where, Rule rule,
                         std::optional<PassedEntry>* entry, std::optional<fw::FullPath>* kept = nullptr) {
    const ReadJson* value = Field(object, key, ReadJson::value_t::string, where, diagnostics);
    return value ? text(*value, MemberPath(where, key), rule, entry, kept) : "";
  };

  WarnUnknownKeys(doc, kTopKeys, "", diagnostics);
  payload::RemovalRecords& records = checked.records;
  records.header.programFolderName = field(doc, "programFolderName", "", Rule::Name, nullptr);
  records.header.installDir = field(doc, "installDir", "", Rule::Install, &passed.install);
  records.header.finalFile = field(doc, "finalFile", "", Rule::FileOrEmpty, &passed.finalFile);
  const ReadJson* groups = Field(doc, "groups", ReadJson::value_t::array, "", diagnostics);
  std::size_t listed = 0;  // entries of every group's files, whatever they are
  for (std::size_t g = 0; groups && g < groups->size(); ++g) {
    const std::string where = ElementPath("groups", g);
    const ReadJson& group = (*groups)[g];
    PassedGroup& passedGroup = passed.groups.emplace_back();
    if (!group.is_object()) {
      diagnostics.Add(Code::WrongType, where, "must be an object");
      continue;
    }
    WarnUnknownKeys(group, kGroupKeys, where, diagnostics);
    payload::RemovalGroup removal;
    // An empty folder is a group without one: the remover then removes no folder for it.
    removal.folderPath = field(group, "folder", where, Rule::FolderOrEmpty, &passedGroup.folder, &passedGroup.folderPath);
    const ReadJson* files = Field(group, "files", ReadJson::value_t::array, where, diagnostics);
    listed += files ? files->size() : 1;
    for (std::size_t f = 0; files && f < files->size(); ++f) {
      const std::string name = ElementPath(MemberPath(where, "files"), f);
      if (!(*files)[f].is_string()) {
        diagnostics.Add(Code::WrongType, name, "must be a string");
        continue;
      }
      std::optional<PassedEntry> file;
      removal.filePaths.push_back(text((*files)[f], name, Rule::File, &file));
      if (file) passedGroup.files.emplace_back(f, std::move(*file));
    }
    records.groups.push_back(std::move(removal));
  }
  if (groups && listed == 0)
    diagnostics.Add(Code::NoFiles, "groups", "lists no files: a payload must name at least one file (its trailer counts them)");
  Warn(passed, diagnostics);
  return checked;
}

}  // namespace

void CheckInstallDir(const std::string& utf8) { CheckText(utf8, Rule::Install); }

std::string ManifestName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::string ReadManifestBytes(const std::string& path) {
  const auto refuse = [&path](const std::string& why) {
    return InputError(Code::ManifestUnreadable, "cannot read the manifest " + ManifestName(path) + ": " + why);
  };
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw refuse(std::strerror(errno));
  struct stat info {};
  std::string bytes;
  std::string failure;
  if (::fstat(fd, &info) != 0) {
    failure = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    failure = "it is a folder; give the manifest's file";
  } else {
    // Whatever it is (a file, a FIFO, a pipe, a terminal), it is read once, to its end.
    if (S_ISREG(info.st_mode)) bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) {
        bytes.append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        failure = std::strerror(errno);
        break;
      }
    }
  }
  if (fd != STDIN_FILENO) ::close(fd);
  if (!failure.empty()) throw refuse(failure);
  return bytes;
}

CheckedManifest CheckManifestText(std::string bytes, const std::string& path) {
  CheckedManifest checked;
  const std::optional<std::string> text = AsUtf8(std::move(bytes), path, checked.diagnostics);
  if (!text) return checked;
  ReadJson doc;
  try {
    doc = ReadJson::parse(*text);
  } catch (const ReadJson::parse_error& e) {
    // The parser's own words name its grammar, not the vendor's mistake: the text is read again
    // by a reader that says what is wrong in the vendor's words.
    if (const auto problem = FirstJsonProblem(*text))
      checked.diagnostics.Add(Placed(problem->code, path, *text, problem->offset, "not valid JSON: " + problem->message,
                                     problem->hint));
    else
      checked.diagnostics.Add(Placed(Code::JsonSyntax, path, *text, e.byte == 0 ? 0 : e.byte - 1, "not valid JSON here",
                                     "look for a missing or extra ',', '\"', ']' or '}' just before that place"));
    return checked;
  } catch (const ReadJson::exception& e) {
    // A number too large for any type (1e999): JSON, but no manifest. The parser names the
    // number, not where it is: it is placed where that text first stands.
    const std::string what = e.what();
    const std::size_t quote = what.find('\'');
    const std::string number = quote == std::string::npos ? "" : what.substr(quote + 1, what.rfind('\'') - quote - 1);
    const std::size_t at = number.empty() ? std::string::npos : text->find(number);
    checked.diagnostics.Add(Placed(Code::JsonNumberTooLarge, path, *text, at == std::string::npos ? 0 : at,
                                   "the number " + (number.empty() ? std::string("here") : number) +
                                       " is too large to read (and no entry of a manifest is a number)"));
    return checked;
  }
  checked = CheckManifest(doc);
  PlaceInJson(checked.diagnostics, path, *text);
  return checked;
}

}  // namespace pack
