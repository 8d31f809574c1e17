#include "Manifest.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "FolderGuard.h"
#include "FullPath.h"
#include "RemovalRules.h"
#include "StandardLayout.h"
#include "Text.h"

namespace pack {
namespace {

// The longest path, in GBK bytes, the remover acts on (it skips 260 bytes and more, MAX_PATH).
constexpr std::size_t kMaxRemoverPath = 259;
// The longest name NTFS and FAT hold, in UTF-16 code units.
constexpr std::size_t kMaxName = 255;

std::u16string Utf16(const std::string& utf8) { return fw::Utf8ToUtf16(utf8).value_or(u""); }

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
void RefuseControlCharacters(const std::string& utf8, const std::string& field) {
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != 0x7F) continue;
    char code[8];
    std::snprintf(code, sizeof code, "U+%04X", c);
    std::string shown = utf8;
    for (char& s : shown)
      if (static_cast<unsigned char>(s) < 0x20 || s == 0x7F) s = '?';
    std::string msg = "manifest: " + field + " holds the control character " + code + " (shown as '?'): " +
                      Quoted(shown);
    if (const char* letter = EscapeLetter(utf8[i]))
      msg += std::string(". In JSON a backslash followed by '") + letter +
             "' is that character: write each backslash of a path as \\\\ (\"C:\\\\Program Files\\\\Korvane\")";
    throw InputError(msg);
  }
}

// The remover runs with the temporary folder as its current folder and joins nothing onto a
// listed path, so every path must name one place by itself: "X:\..." or "\\server\share...",
// with no ".." component. Checked on the UTF-8 text, where a separator byte is always one.
void RequireFullPath(const std::string& utf8, const std::string& field) {
  // Two separators then a third is no server name.
  const bool noServer = utf8.size() > 2 && fw::IsPathSeparator(utf8[0]) && fw::IsPathSeparator(utf8[2]);
  if (!fw::IsFullyQualified(std::string_view(utf8)) || noServer)
    throw InputError("manifest: " + field + " is not a full Windows path (drive and separator, or \\\\server\\share): " +
                     Quoted(utf8));
  std::size_t start = 0;
  for (std::size_t i = 0; i <= utf8.size(); ++i) {
    if (i < utf8.size() && !fw::IsPathSeparator(utf8[i])) continue;
    if (utf8.compare(start, i - start, "..") == 0 && i - start == 2)
      throw InputError("manifest: " + field + " has a '..' component: " + Quoted(utf8));
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
void RequireWindowsName(const std::string& name, const std::string& field, const std::string& whole) {
  const auto bad = name.find_first_of("<>:\"|?*");
  if (bad != std::string::npos)
    throw InputError("manifest: " + field + " has the character '" + name[bad] +
                     "', which Windows does not allow in names: " + Quoted(whole));
  if (!name.empty() && (name.back() == '.' || name.back() == ' '))
    throw InputError("manifest: " + field + " has the name " + Quoted(name) +
                     ", which ends in a dot or a space: Windows drops those, so no file of that name exists: " +
                     Quoted(whole));
  if (const std::size_t length = Utf16(name).size(); length > kMaxName)
    throw InputError("manifest: " + field + " has a name of " + std::to_string(length) +
                     " characters; Windows allows at most " + std::to_string(kMaxName) + ": " + Quoted(whole));
  if (IsDeviceName(name))
    throw InputError("manifest: " + field + " has the name " + Quoted(name) +
                     ", a device's (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension): Windows opens the device, "
                     "not a file: " + Quoted(whole));
  if (LooksLikeShortName(name))
    throw InputError("manifest: " + field + " has the name " + Quoted(name) +
                     ", which looks like a short (8.3) name: the remover judges the names as written, so write the "
                     "long name: " + Quoted(whole));
}

enum class PathRole { Folder, File };

// A path the remover acts on: a plain full path (what fw::FullPath::Parse takes; the remover skips
// anything else) whose names Windows allows; a file's path names a file below a root.
fw::FullPath RequirePlainPath(const std::string& utf8, const std::string& field, PathRole role) {
  RequireFullPath(utf8, field);
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
        RequireWindowsName(name, field, utf8);
      name.clear();
    }
    const char* why = fw::KindOf(std::string_view(utf8)) == fw::PathKind::Device
                          ? " is a device path (\\\\?\\ or \\\\.\\): the remover acts only on X:\\... and \\\\server\\share\\... paths: "
                          : " names no share (\\\\server\\share\\...) or has a name of only dots and spaces: ";
    throw InputError("manifest: " + field + why + Quoted(utf8));
  }
  for (const std::u16string& name : parts->Names()) RequireWindowsName(Utf8(name), field, utf8);
  if (role == PathRole::File) {
    if (parts->IsRoot()) throw InputError("manifest: " + field + " names no file, only a root: " + Quoted(utf8));
    if (fw::IsPathSeparator(utf8.back()))
      throw InputError("manifest: " + field + " ends in a separator, but a file's path ends in its name: " + Quoted(utf8));
  }
  return *parts;
}

// A folder the remover's guard would leave alone is one the vendor meant to be removed and will
// not be (or, without the guard, one whose loss would be a disaster); a file in such a folder, or
// anything in a place of the system's, is no product's.
void RefuseGuarded(const fw::FullPath& path, const std::string& utf8, const std::string& field, PathRole role,
                   const char* what) {
  if (role == PathRole::Folder)
    if (const std::string why = WhyRefused(path); !why.empty())
      throw InputError("manifest: " + field + " " + Quoted(utf8) + " is a folder the remover refuses " + what + ": " + why);
  if (const std::string why = WhySystemPlace(path); !why.empty())
    throw InputError("manifest: " + field + " " + Quoted(utf8) + " lies in " + why + ": no product's file is there");
  // (A file at a drive's root lies outside the install folder, and is warned of as such.)
  if (role == PathRole::File && !path.Parent().IsRoot())
    if (const std::string why = WhyRefused(path.Parent()); !why.empty())
      throw InputError("manifest: " + field + " " + Quoted(utf8) + " is a file in a folder of the system's (" + why +
                       "): no product's file is there");
}

// The Start-menu folder is one name in the Programs folder, the product's own: the remover
// judges it through the same guard, in the user's and in the all-users Programs folder.
void CheckProgramFolderName(const std::string& utf8, const std::string& gbk) {
  if (utf8.empty()) return;  // no Start-menu folder
  const std::string field = "programFolderName";
  if (!removal::IsSingleFolderName(gbk))
    throw InputError("manifest: " + field + " must be a single folder name in the Start menu's Programs folder (no '\\', "
                     "'/', ':', not \".\" or \"..\"): " + Quoted(utf8));
  RequireWindowsName(utf8, field, utf8);
  for (const std::u16string_view programs : {kUserPrograms, kCommonPrograms}) {
    const auto path = fw::FullPath::Parse(std::u16string(programs) + u"\\" + Utf16(utf8));
    if (const std::string why = path ? WhyRefused(*path) : "a name Windows would trim"; !why.empty())
      throw InputError("manifest: " + field + " " + Quoted(utf8) +
                       " names a folder of the system's in the Start menu (" + why + "): use the product's own name");
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

// The key of `candidates` nearest to `key` when it is near enough to be a typo of it, else "".
std::string NearestKey(const std::string& key, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = 3;  // at most two edits
  for (const std::string& candidate : candidates)
    if (const std::size_t d = Distance(key, candidate); d < bestDistance) best = candidate, bestDistance = d;
  return best;
}

// Keys of `object` that are none of `known`: warned of, with the known key they are likely a typo of.
void WarnUnknownKeys(const Json& object, const std::vector<std::string>& known, const std::string& where,
                     std::vector<std::string>& warnings) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (std::find(known.begin(), known.end(), it.key()) != known.end()) continue;
    const std::string nearest = NearestKey(it.key(), known);
    warnings.push_back("unknown key '" + it.key() + "' " + (where.empty() ? "at the top level" : "in " + where) +
                       (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)") + ": it is ignored");
  }
}

const Json& Field(const Json& object, const char* key, Json::value_t type, const std::string& where) {
  const auto it = object.find(key);
  const std::string name = where.empty() ? key : where + "." + key;
  if (it == object.end()) {
    std::string typo;
    for (auto other = object.begin(); other != object.end() && typo.empty(); ++other)
      if (NearestKey(other.key(), {key}) == key) typo = other.key();
    throw InputError("manifest: missing field '" + name + "'" +
                     (typo.empty() ? "" : " (the manifest has '" + typo + "': a typo of it?)"));
  }
  if (it->type() != type) {
    const char* expected = type == Json::value_t::string ? "a string" : "an array";
    throw InputError("manifest: field '" + name + "' must be " + expected);
  }
  return *it;
}

// What is doubtful but may be meant: entries outside the install folder, the same file twice,
// a group folder that does not hold its files, paths the remover skips for their length.
std::vector<std::string> Warnings(const Json& doc) {
  std::vector<std::string> warnings;
  WarnUnknownKeys(doc, kTopKeys, "", warnings);
  for (std::size_t g = 0; g < doc["groups"].size(); ++g)
    WarnUnknownKeys(doc["groups"][g], kGroupKeys, "groups[" + std::to_string(g) + "]", warnings);
  const std::string installUtf8 = doc["installDir"].get<std::string>();
  const std::u16string install = ComparableUtf8(installUtf8);
  const auto outside = [&](const std::string& utf8, const std::string& field, bool folder) {
    const std::u16string path = ComparableUtf8(utf8);
    if (fw::IsBelow(path, install) || (folder && path == install)) return;
    warnings.push_back(field + " " + Quoted(utf8) + " lies outside installDir " + Quoted(installUtf8));
  };
  const auto tooLong = [&](const std::string& utf8, const std::string& field) {
    const std::size_t bytes = Utf8ToGbk(utf8, field).size();
    if (bytes > kMaxRemoverPath)
      warnings.push_back(field + " is " + std::to_string(bytes) + " bytes long as GBK: the remover skips paths of " +
                         std::to_string(kMaxRemoverPath + 1) + " bytes or more, so it stays: " + Quoted(utf8));
  };

  if (const std::string finalFile = doc["finalFile"].get<std::string>(); !finalFile.empty()) {
    outside(finalFile, "finalFile", false);
    tooLong(finalFile, "finalFile");
  }
  std::map<std::u16string, std::pair<std::size_t, std::string>> seen;  // file -> group, where
  const Json& groups = doc["groups"];
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::string where = "groups[" + std::to_string(g) + "]";
    const std::string folderUtf8 = groups[g]["folder"].get<std::string>();
    const std::u16string folder = ComparableUtf8(folderUtf8);
    if (!folderUtf8.empty()) {
      outside(folderUtf8, where + ".folder", true);
      tooLong(folderUtf8, where + ".folder");
    }
    std::vector<std::string> notHeld;
    const Json& files = groups[g]["files"];
    for (std::size_t f = 0; f < files.size(); ++f) {
      const std::string field = where + ".files[" + std::to_string(f) + "]";
      const std::string utf8 = files[f].get<std::string>();
      const std::u16string path = ComparableUtf8(utf8);
      outside(utf8, field, false);
      tooLong(utf8, field);
      if (!folder.empty() && !fw::IsBelow(path, folder)) notHeld.push_back(field);
      const auto [it, added] = seen.try_emplace(path, g, field);
      if (!added)
        warnings.push_back(field + " " + Quoted(utf8) + (it->second.first == g ? " is listed twice in its group, first as "
                                                                                : " is listed in two groups, first as ") +
                           it->second.second + " (names compare without case)");
    }
    if (!notHeld.empty())
      warnings.push_back(where + ".folder " + Quoted(folderUtf8) + " is not a parent of " + notHeld.front() +
                         (notHeld.size() > 1 ? " and " + std::to_string(notHeld.size() - 1) + " more of its files" : "") +
                         ": the folder is removed at the end, its files wherever they are");
  }
  // The remover takes the group folders from the last group to the first: a folder that holds the
  // folder of an earlier group comes first, before what is inside it is gone.
  std::map<std::u16string, std::size_t> groupOf;  // comparable folder -> its first group
  for (std::size_t g = 0; g < groups.size(); ++g)
    if (const auto folder = fw::FullPath::Parse(Utf16(groups[g]["folder"].get<std::string>())))
      groupOf.try_emplace(folder->Comparable(), g);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const auto folder = fw::FullPath::Parse(Utf16(groups[g]["folder"].get<std::string>()));
    if (!folder) continue;
    for (fw::FullPath parent = folder->Parent(); !parent.IsRoot(); parent = parent.Parent()) {
      const auto it = groupOf.find(parent.Comparable());
      if (it == groupOf.end() || it->second <= g) continue;
      const std::string later = "groups[" + std::to_string(it->second) + "].folder";
      warnings.push_back(later + " " + Quoted(groups[it->second]["folder"].get<std::string>()) + " holds groups[" +
                         std::to_string(g) + "].folder, which comes before it: the remover removes the folders from "
                         "the last group to the first, so with 否 " + later +
                         " is not empty yet when its turn comes, and stays: put it before the folders inside it");
      break;
    }
  }
  return warnings;
}

// Line and column (in characters) of byte `offset` of `text`.
std::string LineAndColumn(const std::string& text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// One line that says what usually causes a JSON error of this kind.
std::string SyntaxHint(const std::string& what) {
  if (what.find("after backslash") != std::string::npos)
    return "write each backslash of a path as \\\\ in JSON: \"C:\\\\Program Files\\\\Korvane\"";
  if (what.find("control character") != std::string::npos)
    return "a JSON string ends on its own line: close the quote before the line ends";
  if (what.find("end of input") != std::string::npos) return "the manifest ends early: a closing '\"', ']' or '}' is missing";
  return "look for a missing or extra ',', '\"', ']' or '}' just before that place";
}

// The text of a manifest file as UTF-8, or a message that says to save it as UTF-8.
std::string ReadUtf8(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open manifest " + path + ": " + std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string fix = ": save the manifest as UTF-8";
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    throw InputError("manifest " + path + " is UTF-16 text (it starts with a UTF-16 byte order mark)" + fix);
  if (text.find('\0') != std::string::npos)
    throw InputError("manifest " + path + " holds zero bytes, as UTF-16 text does" + fix);
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a UTF-8 byte order mark says nothing more
  if (!fw::Utf8ToUtf16(text)) {
    std::size_t line = 1, start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1, ++line)
      if (!fw::Utf8ToUtf16(std::string_view(text).substr(start, end - start))) break;
    throw InputError("manifest " + path + " is not UTF-8 text (line " + std::to_string(line) +
                     " holds bytes that are not UTF-8: GBK or another code page?)" + fix);
  }
  return text;
}

}  // namespace

std::string Utf8(std::u16string_view utf16) { return fw::Utf16ToUtf8(utf16).value_or("?"); }

std::u16string ComparableUtf8(const std::string& utf8) {
  const auto path = fw::FullPath::Parse(Utf16(utf8));
  return path ? path->Comparable() : u"";
}

std::string Utf8ToGbk(const std::string& utf8, const std::string& field) {
  const auto utf16 = fw::Utf8ToUtf16(utf8);
  if (!utf16) throw InputError("manifest: " + field + " is not valid UTF-8");
  auto gbk = fw::Utf16ToGbk(*utf16);
  if (!gbk) throw InputError("manifest: " + field + " has characters that GBK cannot represent: " + Quoted(utf8));
  return *gbk;
}

std::string GbkToUtf8(const std::string& gbk, const std::string& field) {
  const auto utf16 = fw::GbkToUtf16(gbk);
  std::optional<std::string> utf8;
  if (utf16) utf8 = fw::Utf16ToUtf8(*utf16);
  if (!utf8) throw InputError("payload: " + field + " is not GBK text");
  return *utf8;
}

CheckedManifest CheckManifest(const Json& doc) {
  if (!doc.is_object()) throw InputError("manifest: the top level must be an object");

  enum class Rule { Name, Install, FileOrEmpty, FolderOrEmpty, File };
  const auto text = [&](const Json& value, const std::string& field, Rule rule) {
    const std::string utf8 = value.get<std::string>();
    RefuseControlCharacters(utf8, field);
    const bool empty = utf8.empty() && (rule == Rule::FileOrEmpty || rule == Rule::FolderOrEmpty);
    const PathRole role = rule == Rule::File || rule == Rule::FileOrEmpty ? PathRole::File : PathRole::Folder;
    std::optional<fw::FullPath> path;
    if (rule != Rule::Name && !empty) path = RequirePlainPath(utf8, field, role);
    std::string gbk = Utf8ToGbk(utf8, field);
    if (rule == Rule::Name) CheckProgramFolderName(utf8, gbk);
    if (path) RefuseGuarded(*path, utf8, field, role, rule == Rule::Install ? "as an install folder" : "to remove");
    return gbk;
  };
  const auto field = [&](const Json& object, const char* key, const std::string& where, Rule rule) {
    return text(Field(object, key, Json::value_t::string, where), where.empty() ? key : where + "." + key, rule);
  };

  CheckedManifest checked;
  payload::RemovalRecords& records = checked.records;
  records.header.programFolderName = field(doc, "programFolderName", "", Rule::Name);
  records.header.installDir = field(doc, "installDir", "", Rule::Install);
  records.header.finalFile = field(doc, "finalFile", "", Rule::FileOrEmpty);
  const Json& groups = Field(doc, "groups", Json::value_t::array, "");
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::string where = "groups[" + std::to_string(g) + "]";
    if (!groups[g].is_object()) throw InputError("manifest: " + where + " must be an object");
    payload::RemovalGroup group;
    // An empty folder is a group without one: the remover then removes no folder for it.
    group.folderPath = field(groups[g], "folder", where, Rule::FolderOrEmpty);
    const Json& files = Field(groups[g], "files", Json::value_t::array, where);
    for (std::size_t f = 0; f < files.size(); ++f) {
      const std::string name = where + ".files[" + std::to_string(f) + "]";
      if (!files[f].is_string()) throw InputError("manifest: field '" + name + "' must be a string");
      group.filePaths.push_back(text(files[f], name, Rule::File));
    }
    records.groups.push_back(std::move(group));
  }
  if (records.FileTotal() == 0)
    throw InputError("manifest lists no files: a payload must name at least one file (its trailer counts them)");
  checked.warnings = Warnings(doc);
  return checked;
}

CheckedManifest ReadManifest(const std::string& path) {
  const std::string text = ReadUtf8(path);
  // A key given twice in one object: JSON keeps the last silently, so one of the two is a mistake.
  // The objects are followed as they are parsed, by their JSON path.
  struct Level {
    bool array;
    std::string path;
    std::set<std::string> keys;
    std::size_t next = 0;  // an array's next index
    std::string key;       // an object's last key
  };
  std::vector<Level> levels;
  const auto childPath = [&levels] {
    if (levels.empty()) return std::string();
    Level& level = levels.back();
    if (level.array) return level.path + "[" + std::to_string(level.next++) + "]";
    return level.path.empty() ? level.key : level.path + "." + level.key;
  };
  const auto follow = [&](int /*depth*/, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start: {
        std::string at = childPath();
        levels.push_back({event == Json::parse_event_t::array_start, std::move(at), {}, 0, ""});
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        levels.pop_back();
        break;
      case Json::parse_event_t::key: {
        Level& level = levels.back();
        level.key = parsed.get<std::string>();
        if (!level.keys.insert(level.key).second)
          throw InputError("manifest: the key '" + level.key + "' is given twice in " +
                           (level.path.empty() ? std::string("the top level") : level.path) +
                           ": JSON keeps only the last, so one of them is a mistake");
        break;
      }
      case Json::parse_event_t::value:
        if (!levels.empty() && levels.back().array) ++levels.back().next;
        break;
    }
    return true;
  };
  Json doc;
  try {
    doc = Json::parse(text, follow);
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    // nlohmann's own text after its prefix and position: "syntax error while parsing ...".
    if (const auto at = what.find("syntax error"); at != std::string::npos) what = what.substr(at);
    throw InputError("manifest " + path + " is not valid JSON: " + LineAndColumn(text, e.byte == 0 ? 0 : e.byte - 1) +
                     ": " + what + "\n  hint: " + SyntaxHint(what));
  }
  return CheckManifest(doc);
}

}  // namespace pack
