// The mistakes uninst-pack refuses (exit 1, nothing written, the entry named by its JSON path),
// the ones it warns of (exit 0, --strict: exit 1), and what it says about its files.
#include <sys/stat.h>

#include <functional>
#include <sstream>

#include "UninstPackRun.h"

namespace {

using testing_files::ReadAll;
using testing_files::WriteAll;
using testing_pack::Json;
using testing_pack::ToolRun;
using testing_pack::UninstPackTest;

struct Case {
  const char* what;
  std::function<void(Json&)> spoil;
  std::vector<std::string> said;  // every one must be in stderr
};

class UninstPackChecksTest : public UninstPackTest {
 protected:
  // Each case spoils a clean manifest; the build must fail with all of `said`, writing nothing.
  void ExpectRefused(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Json manifest = CleanManifest();
      c.spoil(manifest);
      const ToolRun run = Build(manifest);
      EXPECT_EQ(run.exitCode, 1);
      for (const std::string& text : c.said) EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
      EXPECT_FALSE(Wrote());
      for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().string().find(".uninst-pack-"), std::string::npos) << entry.path();
    }
  }
  void ExpectAccepted(const std::vector<std::function<void(Json&)>>& changes) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
      Json manifest = CleanManifest();
      changes[i](manifest);
      const ToolRun run = Build(manifest);
      EXPECT_EQ(run.exitCode, 0) << "change " << i << ": " << run.err;
      std::filesystem::remove(Path("out.exe"));
    }
  }
  static void SetFile(Json& m, const std::string& path) { m["groups"][1]["files"][0] = path; }
  static void SetFolder(Json& m, const std::string& path) { m["groups"][1]["folder"] = path; }
};

// Single backslashes in JSON make control characters of "\r", "\b", "\n", "\t", "\f": the path
// then names a file that exists nowhere.
TEST_F(UninstPackChecksTest, ControlCharactersAreRefusedWithTheBackslashHint) {
  const std::string hint = "write each backslash of a path as \\\\";
  ExpectRefused({
      {"\\r in a file", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\bin\render.dll"); },
       {"groups[1].files[0]", "U+000D", "a backslash followed by 'r'", hint}},
      {"\\b in a file", [](Json& m) { m["groups"][0]["files"].push_back("C:\\Program Files\\Korvane\\dark\bg.png"); },
       {"groups[0].files[1]", "U+0008", "followed by 'b'"}},
      {"\\n in a folder", [](Json& m) { SetFolder(m, "C:\\Program Files\\Korvane\\lang\new"); },
       {"groups[1].folder", "U+000A", "followed by 'n'"}},
      {"\\t in installDir", [](Json& m) { m["installDir"] = "C:\\Program Files\\Korvane\tools\\"; }, {"installDir", "U+0009"}},
      {"\\f in finalFile", [](Json& m) { m["finalFile"] = "C:\\Program Files\\Korvane\files\\x"; },
       {"finalFile", "U+000C"}},
      {"\\u0001 in the Start-menu name", [](Json& m) { m["programFolderName"] = "Kor\u0001vane"; },
       {"programFolderName", "U+0001", "\"Kor?vane\""}},
      {"DEL", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\a\x7F.dll"); }, {"groups[1].files[0]", "U+007F"}},
  });
  // No JSON escape makes U+0001: no hint about backslashes there.
  Json manifest = CleanManifest();
  manifest["programFolderName"] = "Kor\u0001vane";
  EXPECT_EQ(Build(manifest).err.find("backslash"), std::string::npos);
}

TEST_F(UninstPackChecksTest, NamesWindowsCannotHoldAreRefused) {
  const std::string dir = "C:\\Program Files\\Korvane\\";
  ExpectRefused({
      {"*", [&](Json& m) { SetFile(m, dir + "*.dll"); }, {"groups[1].files[0]", "'*'", "does not allow"}},
      {"<", [&](Json& m) { SetFile(m, dir + "a<b.dll"); }, {"'<'"}},
      {">", [&](Json& m) { SetFolder(m, dir + "a>b"); }, {"groups[1].folder", "'>'"}},
      {"| and ?", [&](Json& m) { SetFile(m, dir + "a|b?.dll"); }, {"'|'"}},
      {"a quote", [&](Json& m) { SetFile(m, dir + "a\"b.dll"); }, {"'\"'"}},
      {"a colon past the drive", [&](Json& m) { SetFile(m, dir + "a:stream"); }, {"':'"}},
      {"a name ending in a dot", [&](Json& m) { SetFile(m, dir + "bin.\\render.dll"); }, {"\"bin.\"", "dot or a space"}},
      {"a name ending in a space", [&](Json& m) { SetFile(m, dir + "render.dll "); }, {"dot or a space"}},
      {"300 characters", [&](Json& m) { SetFile(m, dir + std::string(300, 'a')); },
       {"groups[1].files[0]", "300 characters", "at most 255"}},
      {"a trailing separator on a file", [&](Json& m) { SetFile(m, dir + "bin\\render.dll\\"); },
       {"groups[1].files[0]: ends in a separator"}},
      {"a trailing separator on finalFile", [&](Json& m) { m["finalFile"] = dir; }, {"finalFile: ends in a separator"}},
      {"a root as a file", [](Json& m) { SetFile(m, "C:\\"); }, {"names no file"}},
      {"a device path", [](Json& m) { SetFile(m, "\\\\?\\C:\\Program Files\\Korvane\\a.dll"); }, {"device path"}},
      {"a share without a name", [](Json& m) { SetFile(m, "\\\\server\\"); }, {"names no share"}},
      {"a name of dots and spaces", [&](Json& m) { SetFile(m, dir + ". .\\a.dll"); }, {"only dots and spaces"}},
  });
  // The drive's colon, a UNC path, dots inside names, a 255-character name.
  ExpectAccepted({
      [](Json& m) { SetFile(m, "c:/Program Files/Korvane/bin/render.dll"); },
      [](Json& m) { SetFile(m, "\\\\server\\share\\Korvane\\a..b.dll"); },
      [&](Json& m) { SetFile(m, dir + std::string(200, 'a')); },
  });
}

// The remover's guard, on a standard layout, through the same rule code: what it would refuse
// to remove is refused here, and says why.
TEST_F(UninstPackChecksTest, FoldersTheGuardRefusesAreRefused) {
  ExpectRefused({
      {"a drive root", [](Json& m) { SetFolder(m, "C:\\"); }, {"groups[1].folder", "refuses to remove", "drive or share root"}},
      {"the Windows folder", [](Json& m) { SetFolder(m, "C:\\Windows"); }, {"it is the Windows folder"}},
      {"a folder in it", [](Json& m) { SetFolder(m, "c:/windows/System32/Korvane"); }, {"it lies in C:\\Windows"}},
      {"Program Files", [](Json& m) { SetFolder(m, "C:\\Program Files\\"); }, {"it is Program Files"}},
      {"Common Files", [](Json& m) { SetFolder(m, "C:\\Program Files (x86)\\Common Files"); }, {"Common Files"}},
      {"ProgramData", [](Json& m) { SetFolder(m, "C:\\ProgramData"); }, {"it is ProgramData"}},
      {"the profiles folder", [](Json& m) { SetFolder(m, "C:\\Users"); }, {"profiles folder"}},
      {"a profile", [](Json& m) { SetFolder(m, "C:\\Users\\bob"); }, {"profiles folder"}},
      {"a profile's AppData", [](Json& m) { SetFolder(m, "C:\\Users\\bob\\AppData"); },
       {"it is or holds AppData\\Roaming of a profile"}},
      {"a profile's Documents", [](Json& m) { SetFolder(m, "C:\\Users\\bob\\Documents"); }, {"Documents"}},
      {"the Start menu's Programs", [](Json& m) {
         SetFolder(m, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
       }, {"the all-users Programs menu"}},
      {"Public Desktop", [](Json& m) { SetFolder(m, "C:\\Users\\Public\\Desktop"); }, {"refuses"}},
      {"a share's root", [](Json& m) { SetFolder(m, "\\\\server\\share"); }, {"drive or share root"}},
      {"installDir at a root", [](Json& m) { m["installDir"] = "C:\\"; }, {"installDir", "as an install folder"}},
      {"installDir in Windows", [](Json& m) { m["installDir"] = "C:\\Windows\\Korvane\\"; }, {"installDir", "C:\\Windows"}},
  });
  // The product's own folders in those places.
  ExpectAccepted({
      [](Json& m) { SetFolder(m, "C:\\Program Files\\Korvane\\bin"); },
      [](Json& m) { SetFolder(m, "C:\\Users\\bob\\AppData\\Local\\Korvane"); },
      [](Json& m) { SetFolder(m, "C:\\ProgramData\\Korvane"); },
      [](Json& m) { SetFolder(m, "\\\\server\\share\\Korvane"); },
      [](Json& m) { SetFolder(m, ""); },
  });
}

// Known folders that no hand-written list named, each at its documented default location, and
// the folders that hold one: refused, with the known folder's id. Another product's folder (one
// directly in a drive's root or in Program Files that is not the install folder nor inside it) is
// refused too: the remover would only remove it when empty. The product's own folders below them
// stay the product's.
TEST_F(UninstPackChecksTest, KnownFoldersAndOtherProductsFoldersAreRefusedByName) {
  ExpectRefused({
      {"per-user programs", [](Json& m) { SetFolder(m, "C:\\Users\\bob\\AppData\\Local\\Programs"); },
       {"groups[1].folder", "the known folder UserProgramFiles"}},
      {"3D Objects", [](Json& m) { SetFolder(m, "c:/users/bob/3D Objects/"); }, {"the known folder Objects3D"}},
      {"OneDrive", [](Json& m) { SetFolder(m, "C:\\Users\\bob\\OneDrive"); }, {"the known folder SkyDrive"}},
      {"the folder that holds Camera Roll", [](Json& m) { SetFolder(m, "C:\\Users\\bob\\Pictures"); }, {"Pictures"}},
      {"Quick Launch's parent", [](Json& m) {
         SetFolder(m, "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Internet Explorer");
       }, {"the known folder QuickLaunch"}},
      {"Public Libraries", [](Json& m) { SetFolder(m, "C:\\Users\\Public\\Libraries"); }, {"PublicLibraries"}},
      {"OEM Links", [](Json& m) { SetFolder(m, "C:\\ProgramData\\OEM Links"); }, {"CommonOEMLinks"}},
      {"C:\\Recovery", [](Json& m) { SetFolder(m, "C:\\Recovery"); },
       {"groups[1].folder", "\"C:\\Recovery\" is another product's folder", "directly in C:\\"}},
      {"PerfLogs", [](Json& m) { SetFolder(m, "c:/PerfLogs"); }, {"another product's folder"}},
      {"Windows Defender", [](Json& m) { SetFolder(m, "C:\\Program Files\\Windows Defender"); },
       {"another product's folder", "directly in C:\\Program Files,"}},
      {"Microsoft Shared", [](Json& m) { SetFolder(m, "C:\\Program Files\\Common Files\\Microsoft Shared\\"); },
       {"directly in C:\\Program Files\\Common Files"}},
      {"a 32-bit product's", [](Json& m) { SetFolder(m, "C:\\Program Files (x86)\\Other"); }, {"another product's"}},
      {"the install folder's neighbour", [](Json& m) { SetFolder(m, "C:\\Program Files\\Korvane2"); }, {"another product's"}},
  });
  ExpectAccepted({
      [](Json& m) { SetFolder(m, "C:\\Users\\bob\\AppData\\Local\\Programs\\Korvane"); },
      [](Json& m) { SetFolder(m, "C:\\Users\\bob\\AppData\\Roaming\\Korvane"); },
      [](Json& m) { SetFolder(m, "C:\\ProgramData\\Korvane\\cache"); },
      [](Json& m) { SetFolder(m, "C:\\Program Files\\Korvane"); },
      [](Json& m) { SetFolder(m, "c:/program files/korvane/bin/x"); },
      // An install folder directly in a drive's root is the product's, with what is inside it.
      [](Json& m) {
        m["installDir"] = "D:\\Korvane";
        m["groups"] = Json::array({{{"folder", "D:\\Korvane"}, {"files", Json::array({"D:\\Korvane\\a.dll"})}}});
        m["finalFile"] = "";
      },
  });
}

// Other names of those places, as the remover reads them: separators collapsed, a device's name,
// a short name the guard would not know; places of the system's beyond the guarded folders; and
// files in any of them.
TEST_F(UninstPackChecksTest, OtherNamesOfSystemPlacesAndFilesInThemAreRefused) {
  ExpectRefused({
      {"a doubled separator", [](Json& m) { SetFolder(m, "C:\\Users\\\\Public\\"); }, {"groups[1].folder", "Public"}},
      {"a short name", [](Json& m) { SetFolder(m, "C:\\PROGRA~1"); }, {"short (8.3) name", "write the long name"}},
      {"a short file name", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\KORVAN~1.EXE"); }, {"groups[1].files[0]", "8.3"}},
      {"a device folder", [](Json& m) { SetFolder(m, "C:\\Korvane\\CON"); }, {"\"CON\"", "a device's"}},
      {"a device file", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\nul.dll"); }, {"\"nul.dll\"", "a device's"}},
      {"com1 with an extension", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\Com1.txt"); }, {"a device's"}},
      {"Windows.old", [](Json& m) { SetFolder(m, "C:\\Windows.old"); }, {"the previous Windows installation"}},
      {"the Recycle Bin", [](Json& m) { SetFolder(m, "c:/$Recycle.Bin/S-1-5-21"); }, {"the Recycle Bin"}},
      {"Documents and Settings", [](Json& m) { SetFolder(m, "C:\\Documents and Settings"); }, {"profiles folder"}},
      {"WindowsApps", [](Json& m) { SetFolder(m, "C:\\Program Files\\WindowsApps\\Korvane"); }, {"Store apps"}},
      {"System Volume Information", [](Json& m) { SetFile(m, "C:\\System Volume Information\\x.dat"); },
       {"groups[1].files[0]", "volume data"}},
      {"a file of the system's", [](Json& m) { SetFile(m, "C:\\Windows\\System32\\kernel32.dll"); },
       {"groups[1].files[0]", "a file in a folder of the system's", "C:\\Windows"}},
      {"a file in Program Files itself", [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane.dll"); },
       {"a file in a folder of the system's", "Program Files"}},
      // The junctions Windows keeps under old names: ProgramData, a profile's folders, the profiles.
      {"ProgramData's old name", [](Json& m) { SetFile(m, "C:\\ProgramData\\Application Data\\vendor.dat"); },
       {"groups[1].files[0]", "the old name (a junction) of a system folder"}},
      {"a profile folder's old name", [](Json& m) { SetFolder(m, "c:/users/bob/Local Settings/Korvane"); },
       {"groups[1].folder", "of a profile's folder, C:\\Users\\bob\\Local Settings"}},
      {"My Music", [](Json& m) { SetFile(m, "C:\\Users\\bob\\Documents\\My Music\\a.mp3"); }, {"a junction"}},
      {"All Users", [](Json& m) { SetFolder(m, "C:\\Users\\All Users\\Korvane"); }, {"a junction"}},
      // Administrative shares name a whole drive or the Windows folder, of this machine or another.
      {"ADMIN$", [](Json& m) { SetFile(m, "\\\\localhost\\ADMIN$\\System32\\drivers\\etc\\hosts"); },
       {"groups[1].files[0]", "an administrative share"}},
      {"a drive's share", [](Json& m) { SetFolder(m, "\\\\127.0.0.1\\c$\\Korvane"); }, {"an administrative share"}},
  });
  ExpectAccepted({
      [](Json& m) { SetFolder(m, "\\\\server\\apps$\\Korvane"); },
      [](Json& m) { SetFolder(m, "C:\\Users\\bob\\Application Datas\\Korvane"); },
      [](Json& m) { SetFolder(m, "C:\\Program Files\\Korvane\\console"); },
      [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\backup~old.dll"); },
      [](Json& m) { SetFile(m, "C:\\Program Files\\Korvane\\lpt.txt"); },
      [](Json& m) { SetFolder(m, "C:\\Windows2\\Korvane"); },
  });
}

TEST_F(UninstPackChecksTest, AStartMenuFolderNameMustBeTheProductsOwn) {
  ExpectRefused({
      {"a path up", [](Json& m) { m["programFolderName"] = "..\\..\\Windows"; }, {"programFolderName", "single folder name"}},
      {"a path down", [](Json& m) { m["programFolderName"] = "Korvane/bin"; }, {"single folder name"}},
      {"dot-dot", [](Json& m) { m["programFolderName"] = ".."; }, {"single folder name"}},
      {"Startup", [](Json& m) { m["programFolderName"] = "Startup"; }, {"Startup", "use the product's own name"}},
      {"startup in another case", [](Json& m) { m["programFolderName"] = "STARTUP"; }, {"Startup folder"}},
      {"Administrative Tools", [](Json& m) { m["programFolderName"] = "Administrative Tools"; }, {"Administrative"}},
      {"a wildcard", [](Json& m) { m["programFolderName"] = "Korvane*"; }, {"'*'"}},
      {"a trailing dot", [](Json& m) { m["programFolderName"] = "Korvane."; }, {"dot or a space"}},
  });
  ExpectAccepted({[](Json& m) { m["programFolderName"] = "Korvane 办公"; }, [](Json& m) { m["programFolderName"] = ""; }});
}

TEST_F(UninstPackChecksTest, DoubtfulEntriesAreWarnedOfAndStrictRefusesThem) {
  const std::string dir = "C:\\Program Files\\Korvane\\";
  const std::vector<Case> cases = {
      {"a file outside installDir", [](Json& m) { m["groups"][0]["files"].push_back("C:\\x.dll"); },
       {"[UP2101] groups[0].files[1]: \"C:\\x.dll\" lies outside installDir"}},
      {"a folder outside installDir", [](Json& m) {
         m["groups"].push_back({{"folder", "C:\\ProgramData\\Korvane"}, {"files", Json::array()}});
       }, {"[UP2101] groups[2].folder: \"C:\\ProgramData\\Korvane\" lies outside installDir"}},
      {"a file twice in a group, in another case", [&](Json& m) { m["groups"][1]["files"].push_back(dir + "BIN\\Render.DLL"); },
       {"[UP2102] groups[1].files[1]", "listed twice in its group, first as groups[1].files[0]"}},
      {"a file in two groups", [&](Json& m) { m["groups"][0]["files"].push_back(dir + "bin/render.dll"); },
       {"[UP2102] groups[1].files[0]", "listed in two groups, first as groups[0].files[1]"}},
      {"a folder that does not hold its files", [&](Json& m) { m["groups"][1]["files"].push_back(dir + "Korvane.ini"); },
       {"[UP2103] groups[1].folder", "is not a parent of groups[1].files[1]"}},
      {"a folder after the folder inside it", [](Json& m) { std::swap(m["groups"][0], m["groups"][1]); },
       {"[UP2104] groups[1].folder: \"C:\\Program Files\\Korvane\" holds groups[0].folder of the groups before it", "with 否"}},
      {"a folder after two folders inside it", [&](Json& m) {
         m["groups"] = Json::array({m["groups"][1], {{"folder", dir + "lang"}, {"files", Json::array()}}, m["groups"][0]});
       }, {"[UP2104] groups[2].folder: \"C:\\Program Files\\Korvane\" holds groups[0].folder and 1 more folder of the groups before it"}},
      // 143 characters, 261 bytes as GBK: the remover skips that path.
      {"a path of 261 bytes", [&](Json& m) {
         std::string name;
         for (int i = 0; i < 118; ++i) name += "简";
         m["groups"][0]["files"].push_back(dir + name);
       }, {"[UP2105] groups[0].files[1]: is 261 bytes long as GBK: the remover skips paths of 260 bytes or more"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json manifest = CleanManifest();
    c.spoil(manifest);
    const ToolRun warned = Build(manifest);
    EXPECT_EQ(warned.exitCode, 0) << warned.err;
    EXPECT_NE(warned.err.find("warning: " + c.said.front()), std::string::npos) << warned.err;
    for (const std::string& text : c.said) EXPECT_NE(warned.err.find(text), std::string::npos) << warned.err;
    EXPECT_TRUE(Wrote());
    std::filesystem::remove(Path("out.exe"));
    const ToolRun strict = Build(manifest, "out.exe", "--strict");
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("--strict makes them errors"), std::string::npos) << strict.err;
    EXPECT_FALSE(Wrote());
  }
  const ToolRun clean = Build(CleanManifest(), "out.exe", "--strict");
  EXPECT_EQ(clean.exitCode, 0) << clean.err;
  EXPECT_EQ(clean.err, "");
}

TEST_F(UninstPackChecksTest, ManifestsInOtherEncodingsOrBrokenJsonAreExplained) {
  const std::string utf8 = CleanManifest().dump();
  std::string utf16;
  for (const char c : utf8) utf16 += std::string{c, '\0'};
  const std::string gbkByte = "{\"programFolderName\": \"Korvane\",\n\"installDir\": \"C:\\\\\xC4\xA3\xB0\xE5\\\\\"}";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"\xFF\xFE" + utf16, {"manifest.json:1:1: error: [UP1002] UTF-16 text", "save the manifest as UTF-8"}},
      {utf16, {"zero bytes", "save the manifest as UTF-8"}},
      {gbkByte, {"manifest.json:2:21: error: [UP1002] not UTF-8 text", "save the manifest as UTF-8"}},
      // A single backslash before a letter JSON has no escape for.
      {"{\"programFolderName\": \"Korvane\",\n  \"installDir\": \"C:\\Program Files\"}",
       {"manifest.json:2:20: error: [UP1003] not valid JSON: '\\P' is no JSON escape", "hint: write each backslash of a path as \\\\"}},
      {"{\"programFolderName\": \"Korvane\"\n  \"installDir\": 1}",
       {"manifest.json:2:3: error: [UP1003] not valid JSON: a ',' is missing before this member"}},
      {"{\"programFolderName\": \"Korvane\",", {"manifest.json:1:33: error: [UP1007] not valid JSON: the manifest ends before the '{' at line 1, column 1 is closed", "hint: a closing '}' (or more) is missing"}},
      {"{\"programFolderName\": \"Kor\nvane\"}", {"manifest.json:1:27: error: [UP1003] not valid JSON: the string that starts at line 1, column 23 is not closed", "hint: a JSON string ends on its own line"}},
  };
  for (const auto& [text, said] : cases) {
    const ToolRun run = BuildText(text);
    EXPECT_EQ(run.exitCode, 1);
    for (const std::string& s : said) EXPECT_NE(run.err.find(s), std::string::npos) << run.err;
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 3) << "the error, at most one hint line, the count: "
                                                                    << run.err;
    EXPECT_NE(run.err.find("uninst-pack: 1 error, 0 warnings\n"), std::string::npos) << run.err;
    EXPECT_FALSE(Wrote());
  }
  // A byte order mark in front of UTF-8 is fine.
  EXPECT_EQ(BuildText("\xEF\xBB\xBF" + utf8).exitCode, 0);
}

// Every mistake of a manifest is said in one run, in the order of the file, each at its line and
// column (of the key of a member, the value of an element) with its JSON path; then they are counted.
TEST_F(UninstPackChecksTest, EveryMistakeIsSaidAtItsLineAndColumn) {
  const std::string text = R"({
  "programFolderName": "Korvane",
  "installDir": "C:\\Program Files\\Korvane\\",
  "finalFile": "C:\\Program Files\\Korvane\\Uninst.exe",
  "groups": [
    {"folder": "C:\\Program Files\\Korvane", "files": ["C:\\Program Files\\Korvane\\a.exe", "C:\\Windows\\x.dll"]},
    {"folder": "C:\\PROGRA~1\\Korvane\\bin", "fles": [], "files": [
       "C:\\Program Files\\Korvane\\bin\\CON.dll",
       "C:\\Program Files\\Korvane\\bin\\render.dll",
       "C:\\Program Files\\Korvane\\bin\\render.dll", 7]},
    {"folder": "", "files": [], "folder": ""}
  ]
})";
  // "LINE:COLUMN" of the first `needle` in the text after `after`.
  const auto at = [&text](const std::string& needle, const std::string& after = "") {
    const std::size_t offset = text.find(needle, text.find(after));
    const std::size_t lineStart = text.rfind('\n', offset) + 1;
    return std::to_string(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n') + 1) + ":" +
           std::to_string(offset - lineStart + 1);
  };
  const ToolRun run = BuildText(text);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(Wrote());
  const std::string file = Path("manifest.json") + ":";
  const std::vector<std::string> said = {
      file + at("\"C:\\\\Windows") + ": error: [UP1122] groups[0].files[1]: \"C:\\Windows\\x.dll\" is a file in a folder",
      file + at("\"folder\"", "a.exe") + ": error: [UP1109] groups[1].folder: has the name \"PROGRA~1\"",
      file + at("\"fles\"") + ": warning: [UP2001] groups[1].fles: unknown key \"fles\" (did you mean \"files\"?)",
      file + "8:8: error: [UP1108] groups[1].files[0]: has the name \"CON.dll\", a device's",
      file + "10:8: warning: [UP2102] groups[1].files[2]: \"C:\\Program Files\\Korvane\\bin\\render.dll\" is listed twice",
      file + at("7]") + ": error: [UP1013] groups[1].files[3]: must be a string",
      file + at("\"folder\": \"\"}") + ": error: [UP1012] groups[2].folder: the key is given twice in groups[2]",
      "uninst-pack: 5 errors, 2 warnings",
  };
  std::istringstream lines(run.err);
  std::string line;
  for (const std::string& expected : said) {
    ASSERT_TRUE(std::getline(lines, line)) << run.err;
    EXPECT_EQ(line.substr(0, expected.size()), expected) << run.err;
  }
  EXPECT_FALSE(std::getline(lines, line)) << "one line each: " << run.err;

  // The launcher's mistake is said in the same run as the manifest's.
  WriteAll(Path("Uninst.exe"), "a text file, not a program\n");
  Json badFile = CleanManifest();
  badFile["groups"][0]["files"][0] = "C:\\Program Files\\Korvane\\NUL";
  const ToolRun both = Build(badFile);
  EXPECT_EQ(both.exitCode, 1);
  EXPECT_NE(both.err.find("error: [UP1108] groups[0].files[0]: has the name \"NUL\""), std::string::npos) << both.err;
  EXPECT_NE(both.err.find("uninst-pack: error: [UP1202] launcher " + Path("Uninst.exe") + " is not a launcher"), std::string::npos) << both.err;
  EXPECT_NE(both.err.find("uninst-pack: 2 errors, 0 warnings\n"), std::string::npos) << both.err;
  WriteAll(Path("Uninst.exe"), launcherImage_);

  // A key given twice: what is said of the value JSON keeps, the last, is said there. A key that
  // is no plain name is shown in brackets as JSON writes it, so it neither passes for another
  // entry nor prints a control character. A number no type holds is said, and counted.
  const ToolRun twice = BuildText("{\"groups\": [{\"folder\": \"\", \"files\": [\"C:\\\\a.dll\"]}],\n\"groups\": [{\"folder\": \"\", \"files\": [\"C:\\\\Windows\\\\x.dll\"]}],\n"
                                  "\"groups[0].files[0]\": 1, \"a\\u001b[31m\": 2}");
  EXPECT_NE(twice.err.find(file + "2:1: error: [UP1012] groups: the key is given twice"), std::string::npos) << twice.err;
  EXPECT_NE(twice.err.find(file + "2:37: error: [UP1122] groups[0].files[0]: \"C:\\Windows\\x.dll\""), std::string::npos) << twice.err;
  EXPECT_NE(twice.err.find(file + "3:1: warning: [UP2001] [\"groups[0].files[0]\"]: unknown key"), std::string::npos) << twice.err;
  EXPECT_NE(twice.err.find("warning: [UP2001] [\"a\\u001b[31m\"]: unknown key \"a\\u001b[31m\""), std::string::npos) << twice.err;
  EXPECT_EQ(twice.err.find('\x1b'), std::string::npos) << twice.err;
  const ToolRun huge = BuildText("{\"x\": 1e999}");
  EXPECT_EQ(huge.exitCode, 1);
  EXPECT_NE(huge.err.find(file + "1:7: error: [UP1008] the number 1e999 is too large to read"), std::string::npos)
      << huge.err;
  EXPECT_NE(huge.err.find("uninst-pack: 1 error, 0 warnings"), std::string::npos) << huge.err;

  // Nesting deeper than a manifest's own is wrong as a whole, said once and at once.
  const ToolRun deep = BuildText("{\"groups\": [{\"files\": [" + std::string(100000, '[') + std::string(100000, ']') + "]}]}");
  EXPECT_EQ(deep.exitCode, 1);
  EXPECT_NE(deep.err.find(file + "1:24: error: [UP1013] groups[0].files[0]: must be a string"), std::string::npos) << deep.err;
}

// Only a writable regular file is ever replaced: a device, a FIFO or a read-only file stays as it
// was, and nothing is written beside it.
TEST_F(UninstPackChecksTest, OutputsThatAreNotWritableFilesAreRefused) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const ToolRun fifo = Build(CleanManifest(), "fifo");
  EXPECT_EQ(fifo.exitCode, 1);
  EXPECT_NE(fifo.err.find("exists and is not a file"), std::string::npos) << fifo.err;
  EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));

  // A socket stands for a device here: replacing a real one would be the fault this refuses.
  const ToolRun socket = Build(CleanManifest(), testing_files::MakeSocket(Path("socket")));
  EXPECT_EQ(socket.exitCode, 1);
  EXPECT_NE(socket.err.find("exists and is not a file"), std::string::npos) << socket.err;
  EXPECT_TRUE(std::filesystem::is_socket(Path("socket")));

  WriteAll(Path("kept.exe"), "kept");
  std::filesystem::permissions(Path("kept.exe"), std::filesystem::perms::owner_read);
  const ToolRun readOnly = Build(CleanManifest(), "kept.exe");
  EXPECT_EQ(readOnly.exitCode, 1);
  EXPECT_NE(readOnly.err.find("is a read-only file"), std::string::npos) << readOnly.err;
  EXPECT_EQ(ReadAll(Path("kept.exe")), "kept");

  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string().find(".uninst-pack-"), std::string::npos) << entry.path();

  // The file written beside the output has a name nobody could plant a link under beforehand.
  WriteAll(Path("victim.txt"), "somebody else's");
  std::filesystem::create_symlink(Path("victim.txt"), Path("out.exe.uninst-pack-tmp"));
  ASSERT_EQ(Build(CleanManifest()).exitCode, 0);
  EXPECT_EQ(ReadAll(Path("victim.txt")), "somebody else's");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Path("out.exe"))));
}

TEST_F(UninstPackChecksTest, OutputsAreNamedAndTheResultIsOneLineAndExecutable) {
  const ToolRun missing = Build(CleanManifest(), "no-such-folder/Uninst.exe");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("the output folder " + Path("no-such-folder") + " does not exist"), std::string::npos)
      << missing.err;

  std::filesystem::create_directory(Path("folder"));
  const ToolRun folder = Build(CleanManifest(), "folder");
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_NE(folder.err.find("the output " + Path("folder") + " is a folder"), std::string::npos) << folder.err;

  const ToolRun fine = Build(CleanManifest());
  ASSERT_EQ(fine.exitCode, 0) << fine.err;
  const std::uintmax_t size = std::filesystem::file_size(Path("out.exe"));
  EXPECT_EQ(fine.out, "wrote " + Path("out.exe") + ": 2 files in 2 groups, " +
                          std::to_string(size - launcherImage_.size()) + " bytes appended to the launcher's " +
                          std::to_string(launcherImage_.size()) + "; 0 warnings\n");
  EXPECT_EQ(fine.err, "");
  struct stat info {};
  ASSERT_EQ(::stat(Path("out.exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & S_IXUSR, S_IXUSR);
}

// Files that are not this project's launcher: the payload would sit behind something that
// never stages a remover.
// Keys: a typo of a required key is named where the key is missed, an unknown key is warned of
// with the key it is likely a typo of, and a key given twice (JSON would keep the last) is refused.
TEST_F(UninstPackChecksTest, MistypedUnknownAndRepeatedKeysAreNamed) {
  std::string text = CleanManifest().dump();
  const auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string out = text;
    out.replace(out.find(from), from.size(), to);
    return out;
  };
  const ToolRun typo = BuildText(replaced("\"installDir\"", "\"instalDir\""));
  EXPECT_EQ(typo.exitCode, 1);
  EXPECT_NE(typo.err.find("missing field \"installDir\" (the manifest has \"instalDir\": a typo of it?)"), std::string::npos)
      << typo.err;

  const ToolRun unknown = BuildText(replaced("\"files\":[\"C:\\\\Program Files\\\\Korvane\\\\bin",
                                             "\"fles\":[], \"files\":[\"C:\\\\Program Files\\\\Korvane\\\\bin"));
  EXPECT_EQ(unknown.exitCode, 0) << unknown.err;
  EXPECT_NE(unknown.err.find("warning: [UP2001] groups[1].fles: unknown key \"fles\" (did you mean \"files\"?)"), std::string::npos)
      << unknown.err;
  std::filesystem::remove(Path("out.exe"));

  const ToolRun twice = BuildText(replaced("\"finalFile\"", "\"installDir\":\"D:\\\\Other\\\\\", \"finalFile\""));
  EXPECT_EQ(twice.exitCode, 1);
  EXPECT_NE(twice.err.find("error: [UP1012] installDir: the key is given twice in the top level"), std::string::npos) << twice.err;
  EXPECT_FALSE(Wrote());
}

// What is wrong is said first: the launcher and the manifest given the other way round, an
// unknown flag in front of the command.
TEST_F(UninstPackChecksTest, SwappedInputsAndAFlagBeforeTheCommandAreSaidFirst) {
  WriteAll(Path("manifest.json"), CleanManifest().dump());
  for (const std::string& args : {"--launcher " + Path("manifest.json") + " --manifest " + Path("Uninst.exe"),
                                  "--launcher " + Path("manifest.json") + " --manifest " + Path("manifest.json"),
                                  "--launcher " + Path("Uninst.exe") + " --manifest " + Path("Uninst.exe")}) {
    const ToolRun swapped = Pack("build " + args + " --output " + Path("out.exe"));
    EXPECT_EQ(swapped.exitCode, 1);
    EXPECT_NE(swapped.err.find("--launcher and --manifest swapped?"), std::string::npos) << swapped.err;
    EXPECT_FALSE(Wrote());
  }
  const ToolRun flag = Pack("--strict build");
  EXPECT_EQ(flag.exitCode, 2);
  EXPECT_EQ(flag.err.rfind("uninst-pack: error: [UP3001] --strict is an option of build: write it after the command", 0), 0u)
      << flag.err;
  EXPECT_EQ(flag.err.find("subcommand is required"), std::string::npos) << flag.err;
}

TEST_F(UninstPackChecksTest, OnlyALauncherThatCarriesTheRemoverIsPacked) {
  std::string dll = testpe::Launcher();
  testsigning::Put16(dll, 0x44 + 18, 0x2022);  // Characteristics: a DLL
  std::string console = testpe::Launcher();
  testsigning::Put16(console, 0x58 + 68, 3);  // Subsystem: console
  std::string arm = testpe::Launcher();
  testsigning::Put16(arm, 0x44, 0xAA64);
  std::string random(4096, '\0');
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>(i * 7919 % 251);
  const std::pair<std::string, std::string> refused[] = {
      {"", "the file is empty"},
      {"a text file, not a program\n", "no \"MZ\" header"},
      {random, "no \"MZ\" header"},
      {"\x7F" "ELF\x02\x01\x01" + std::string(100, '\0'), "an ELF file"},
      {"MZ" + std::string(100, '\0'), "no \"PE\" header"},
      {testpe::Launcher().substr(0, testpe::kSectionOffset + 20), "runs past the end of the file"},
      {dll, "a DLL"},
      {console, "not a Windows GUI program"},
      {arm, "another processor"},
      {testpe::Program(), "carries no remover (no resource UNINSTALLER 131)"},
      {testpe::WithResource(testpe::Program(), testpe::Program(), u"UNINSTALLER", 132), "carries no remover"},
      {testpe::WithResource(testpe::Program(), testpe::Program(), u"REMOVER"), "carries no remover"},
      {testpe::WithResource(testpe::Program(), "not a program"), "the remover launcher"},
  };
  for (const auto& [image, said] : refused) {
    WriteAll(Path("Uninst.exe"), image);
    const ToolRun run = Build(CleanManifest());
    EXPECT_EQ(run.exitCode, 1) << said;
    EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
    EXPECT_FALSE(Wrote());
  }
  // x86 launchers, and a type name in another case (FindResource compares names so).
  for (const std::string& image : {testpe::Launcher(0x10B), testpe::WithResource(testpe::Program(), testpe::Program(),
                                                                                   u"Uninstaller")}) {
    WriteAll(Path("Uninst.exe"), image);
    EXPECT_EQ(Build(CleanManifest()).exitCode, 0);
    std::filesystem::remove(Path("out.exe"));
  }

  // The remover packed to run by itself (benchmarks, tests) only when asked, and only the remover;
  // inspect says that it is.
  WriteAll(Path("Uninst.exe"), testpe::Program());
  EXPECT_EQ(Build(CleanManifest(), "out.exe", "--bare-remover").exitCode, 0);
  EXPECT_NE(Pack("inspect " + Path("out.exe")).out.find("carrying no remover: the remover itself, packed with --bare-remover"),
            std::string::npos);
  std::filesystem::remove(Path("out.exe"));
  WriteAll(Path("Uninst.exe"), testpe::Launcher());
  const ToolRun launcherAsRemover = Build(CleanManifest(), "out.exe", "--bare-remover");
  EXPECT_EQ(launcherAsRemover.exitCode, 1);
  EXPECT_NE(launcherAsRemover.err.find("leave out --bare-remover"), std::string::npos);
  EXPECT_FALSE(Wrote());
}

}  // namespace
