#pragma once
// What uninst-pack finds wrong in its inputs (errors: nothing is written) or doubtful (warnings),
// all of them in one run, each with a stable code and said as a compiler says it,
//   FILE:LINE:COLUMN: error|warning: [UPnnnn] JSON.PATH: message
// then counted ("2 errors, 1 warning"); or, for pipelines, as one JSON object a line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

// Every diagnostic's code, printed "UP" and its number: 1xxx errors, 2xxx warnings, 3xxx
// command-line errors (exit 2). A number is never reused for another meaning.
enum class Code : std::uint16_t {
  // The manifest's text and form.
  ManifestUnreadable = 1001,  // missing, a folder, unreadable
  NotUtf8 = 1002,             // UTF-16, zero bytes, another code page
  JsonSyntax = 1003,
  JsonComment = 1004,
  JsonTrailingComma = 1005,
  JsonTextAfterEnd = 1006,
  JsonEndsEarly = 1007,
  JsonNumberTooLarge = 1008,
  MissingKey = 1011,
  KeyTwice = 1012,
  WrongType = 1013,
  NoFiles = 1014,
  // An entry's text or path.
  ControlCharacter = 1101,
  NotFullPath = 1102,
  DotDotComponent = 1103,
  NotPlainPath = 1104,  // a device path, a share without a name, a name of dots and spaces
  ForbiddenCharacter = 1105,
  TrimmedName = 1106,
  NameTooLong = 1107,
  DeviceName = 1108,
  ShortName = 1109,
  NoFileName = 1110,
  NotGbk = 1111,
  GuardedFolder = 1120,
  SystemPlace = 1121,
  FileInSystemFolder = 1122,
  AnotherProductsFolder = 1123,  // a group folder directly in a drive's root or in Program Files
  NotSingleFolderName = 1130,
  SystemStartMenuFolder = 1131,
  // The launcher.
  LauncherUnreadable = 1201,
  NotALauncher = 1202,
  LauncherIsNotBare = 1203,
  LauncherSigned = 1204,
  LauncherPacked = 1205,
  LauncherTooLarge = 1206,
  InputsSwapped = 1207,
  // Outputs.
  OutputIsInput = 1301,
  OutputIsFolder = 1302,
  OutputNotAFile = 1303,
  OutputIsLink = 1304,
  OutputReadOnly = 1305,
  OutputFolderMissing = 1306,
  OutputUnwritable = 1307,
  OutputNotStandardOutput = 1308,
  // The install image.
  ImageUnreadable = 1401,
  ImageNameNotUtf8 = 1402,
  ImageNameBackslash = 1403,
  ImageLink = 1404,
  ImageSpecialFile = 1405,
  ImageEmpty = 1406,
  OptionNotUtf8 = 1407,
  // A packed file (inspect, plan) and the Resource.ini given to plan.
  PackedUnreadable = 1501,
  NoPayload = 1502,
  SignatureMisplaced = 1503,
  PayloadDamaged = 1504,
  PayloadNotGbk = 1505,
  ResourceListUnreadable = 1506,
  // Anything else that stopped the run (out of memory, a failure of the system).
  Unexpected = 1900,

  // Warnings: the manifest.
  UnknownKey = 2001,
  OutsideInstallDir = 2101,
  ListedTwice = 2102,
  FolderNotParent = 2103,
  FolderAfterInner = 2104,
  PathTooLong = 2105,
  // Resource.ini.
  ResourceListUtf16 = 2201,
  ResourceListUtf8 = 2202,
  ResourceLineNamesNoFolder = 2203,
  ResourceFolderNotGbk = 2204,
  ResourceFolderNotInImage = 2205,
  ResourceFolderUnnamable = 2206,
  // The install image.
  NoProgramFolder = 2301,
  FinalFileNotInImage = 2302,

  // The command line.
  CommandLine = 3001,  // not understood, a value missing, an option given twice
  BadOptionValue = 3002,
};

// The warnings, for --warn-off.
inline constexpr Code kWarnings[] = {
    Code::UnknownKey,          Code::OutsideInstallDir,         Code::ListedTwice,
    Code::FolderNotParent,     Code::FolderAfterInner,          Code::PathTooLong,
    Code::ResourceListUtf16,   Code::ResourceListUtf8,          Code::ResourceLineNamesNoFolder,
    Code::ResourceFolderNotGbk, Code::ResourceFolderNotInImage, Code::ResourceFolderUnnamable,
    Code::NoProgramFolder,     Code::FinalFileNotInImage,
};

// "UP1104".
std::string CodeText(Code code);
// The warning "UP2101" (or "up2101", "2101") names; nullopt for any other text.
std::optional<Code> WarningCode(std::string_view text);

struct Diagnostic {
  enum class Severity { Error, Warning };
  Code code;
  Severity severity;
  std::string where;    // the entry's JSON path ("groups[1].files[0]"); "" for the document or a text file's line
  std::string message;
  std::string file;        // the input it is in; "" when it is in none
  std::size_t line = 0;    // 1-based; 0 until placed
  std::size_t column = 0;  // 1-based, in characters
  std::string hint = {};   // what usually causes it, said on a line of its own; may be ""
};

class Diagnostics {
 public:
  // A diagnostic of the entry at JSON path `where`, an error or a warning as its code is.
  void Add(Code code, std::string where, std::string message, std::string hint = "");
  // One already placed in its file (a line of Resource.ini), or made whole elsewhere.
  void Add(Diagnostic diagnostic);

  // Drops the warnings of `codes` (--warn-off); they are counted as turned off.
  void TurnOff(const std::set<Code>& codes);
  // Makes every warning an error (--strict).
  void WarningsAsErrors();

  std::size_t Errors() const { return errors_; }
  std::size_t Warnings() const { return list_.size() - errors_; }
  std::size_t TurnedOff() const { return turnedOff_; }
  std::vector<Diagnostic>& All() { return list_; }
  const std::vector<Diagnostic>& All() const { return list_; }

 private:
  std::vector<Diagnostic> list_;
  std::size_t errors_ = 0;
  std::size_t turnedOff_ = 0;
};

// The length of the UTF-8 character at byte `i` of `text`, or 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t i);
// Text as uninst-pack prints it: control characters escaped as JSON escapes them ("\n",
// "\u001b"), bytes that are no part of UTF-8 as \xNN; nothing else changed.
std::string Printable(std::string_view text);
// "FILE:LINE:COLUMN: error: [UP1104] WHERE: message" (the parts not known left out; without a
// file, "uninst-pack"), the hint on a line of its own; printable.
std::string Format(const Diagnostic& diagnostic);
// The diagnostic as one line of JSON: {"severity", "code", "file", "line", "column", "path",
// "message", "hint"}, null for what is not known.
std::string FormatJson(const Diagnostic& diagnostic);
// "2 errors, 1 warning" (and " (3 more turned off)" when any were).
std::string Summary(const Diagnostics& diagnostics);
// "1 warning" (and " (3 more turned off)" when any were), for a line that says a run succeeded.
std::string WarningsCounted(const Diagnostics& diagnostics);
// "1 warning", "3 files".
std::string Counted(std::size_t count, const std::string& noun);

// How a run says what it found: the options every command takes.
struct ReportOptions {
  bool quiet = false;          // -q: errors only
  bool json = false;           // --diagnostics json: one JSON object a line
  std::size_t maxErrors = 0;   // --max-errors: at most this many errors said (0: all)
  std::set<Code> turnedOff;    // --warn-off
};

// Says diagnostics and notes on one stream (stderr), as the options ask.
class Reporter {
 public:
  Reporter(ReportOptions options, std::ostream& out) : options_(std::move(options)), out_(out) {}

  // Turns the warnings the options name off, then says every diagnostic in order, up to the cap.
  void Say(Diagnostics& diagnostics);
  // The count line "uninst-pack: 2 errors, 1 warning" (with `more` behind it); not said with -q
  // or as JSON.
  void Count(const Diagnostics& diagnostics, const std::string& more = "");
  // A line that is no diagnostic ("uninst-pack: wrote ..."), not said with -q; as JSON a "note".
  void Note(const std::string& text);
  // A single error that ends the run.
  void Error(Code code, const std::string& message);

  const ReportOptions& Options() const { return options_; }

 private:
  ReportOptions options_;
  std::ostream& out_;
};

// A diagnostic at byte `offset` of the text `text` of `file`.
Diagnostic Placed(Code code, const std::string& file, std::string_view text, std::size_t offset, std::string message,
                  std::string hint = "");

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
