// uninst-pack manifest (a manifest from an install image) and uninst-pack plan (what a payload
// makes the remover do), as a vendor runs them.
#include <algorithm>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include "File.h"
#include "Records.h"
#include "UninstPackRun.h"

namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::WriteAll;
using testing_pack::Json;
using testing_pack::ToolRun;
using testing_pack::UninstPackTest;

class UninstPackImageTest : public UninstPackTest {
 protected:
  void MakeFile(const std::string& relative, const std::string& bytes = "") {
    const fs::path path = fs::path(Path("image")) / relative;
    fs::create_directories(path.parent_path());
    WriteAll(path, bytes);
  }
  ToolRun Manifest(const std::string& more = "") {
    return Pack("manifest --image " + Path("image") + " --install-dir 'C:\\Program Files\\Korvane\\' " + more);
  }
};

TEST_F(UninstPackImageTest, AnImageBecomesAManifestThatBuildAcceptsUnchanged) {
  for (const char* file : {"Korvane.exe", "Uninst.exe", "模板/简历.lvf", "bin/d0/f0.dll", "bin/d0/f1.dll",
                           "bin/d1/f0.dll", "Skins/dark/s1.png", "Fonts/f.ttf"})
    MakeFile(file);
  fs::create_directories(Path("image/空"));
  MakeFile("Resource.ini", "[Resources]\r\nres_Skins=1\r\nres_..=1\r\n");

  const ToolRun run = Manifest("--program-folder Korvane");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json manifest = Json::parse(run.out);
  EXPECT_EQ(manifest["programFolderName"], "Korvane");
  EXPECT_EQ(manifest["installDir"], "C:\\Program Files\\Korvane\\");
  EXPECT_EQ(manifest["finalFile"], "C:\\Program Files\\Korvane\\Uninst.exe");
  EXPECT_NE(run.err.find("Resource.ini names C:\\Program Files\\Korvane\\Skins"), std::string::npos) << run.err;

  // Every folder once, parents before children (the remover takes the last group first), and
  // the files in their folder's group. Resource.ini, the folder it names and the launcher are not
  // listed: the remover deletes them by other rules.
  const std::string root = "C:\\Program Files\\Korvane";
  std::vector<std::string> folders;
  std::set<std::string> files;
  for (const Json& group : manifest["groups"]) {
    const std::string folder = group["folder"];
    for (const std::string& earlier : folders) EXPECT_FALSE(earlier.starts_with(folder + "\\")) << folder << " after " << earlier;
    folders.push_back(folder);
    for (const std::string file : group["files"]) {
      EXPECT_EQ(file.substr(0, file.rfind('\\')), folder);
      files.insert(file.substr(root.size() + 1));
    }
  }
  EXPECT_EQ(folders.front(), root);
  EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()),
            (std::set<std::string>{root, root + "\\bin", root + "\\bin\\d0", root + "\\bin\\d1", root + "\\Fonts",
                                   root + "\\模板", root + "\\空"}));
  EXPECT_EQ(files, (std::set<std::string>{"Korvane.exe", "模板\\简历.lvf", "bin\\d0\\f0.dll", "bin\\d0\\f1.dll",
                                          "bin\\d1\\f0.dll", "Fonts\\f.ttf"}));

  WriteAll(Path("manifest.json"), run.out);
  const ToolRun build = Pack("build --strict --launcher " + Path("Uninst.exe") + " --manifest " + Path("manifest.json") +
                             " --output " + Path("out.exe"));
  EXPECT_EQ(build.exitCode, 0) << build.err;
  EXPECT_EQ(build.err, "");
  EXPECT_NE(build.out.find("6 files in 7 groups"), std::string::npos) << build.out;
}

TEST_F(UninstPackImageTest, ImagesThatCannotBeListedAreRefused) {
  EXPECT_NE(Manifest().err.find("is not a folder"), std::string::npos);
  fs::create_directories(Path("image/empty"));
  EXPECT_NE(Manifest().err.find("holds no files"), std::string::npos);
  MakeFile("a*b.dll");
  const ToolRun wildcard = Manifest();
  EXPECT_EQ(wildcard.exitCode, 1);
  EXPECT_NE(wildcard.err.find("'*'"), std::string::npos) << wildcard.err;
  EXPECT_TRUE(wildcard.out.empty());
  fs::remove(Path("image/a*b.dll"));
  MakeFile("Korvane.exe");
  fs::create_symlink("/etc/passwd", Path("image/passwd"));
  EXPECT_NE(Manifest().err.find("is a symbolic link"), std::string::npos);
  fs::remove(Path("image/passwd"));
  const ToolRun windows = Pack("manifest --image " + Path("image") + " --install-dir 'C:\\Windows\\'");
  EXPECT_EQ(windows.exitCode, 1);
  EXPECT_NE(windows.err.find("error: [UP1120] --install-dir: \"C:\\Windows\\\" is a folder the remover refuses"), std::string::npos) << windows.err;
  EXPECT_EQ(Manifest("--program-folder Startup").exitCode, 1);
  EXPECT_EQ(Manifest().exitCode, 0);

  // What the options say is checked first, before the image is read against them.
  MakeFile("Resource.ini", "res_Skins=1\r\n");
  for (const char* dir : {"''", "'\\'", "'C:\\Program Files\\..'", "'Korvane'"}) {
    const ToolRun relative = Pack("manifest --image " + Path("image") + " --install-dir " + std::string(dir));
    EXPECT_EQ(relative.exitCode, 1);
    EXPECT_NE(relative.err.find("is not a full Windows path of a folder"), std::string::npos) << dir << relative.err;
  }
  const ToolRun notUtf8 = Manifest("--program-folder \"$(printf '\\377')\"");
  EXPECT_EQ(notUtf8.exitCode, 1);
  EXPECT_NE(notUtf8.err.find("--program-folder is not UTF-8 text"), std::string::npos) << notUtf8.err;
  fs::remove(Path("image/Resource.ini"));
  // A backslash is a separator to Windows: a Linux name that holds one is no name of the image.
  MakeFile("sub/b\\c.dll");
  const ToolRun backslash = Manifest();
  EXPECT_EQ(backslash.exitCode, 1);
  EXPECT_NE(backslash.err.find("which Windows reads as a separator"), std::string::npos) << backslash.err;
}

// -o writes the manifest itself (UTF-8, no byte-order mark, whatever a shell's ">" would make
// of it), refusing what is no file; --final-file takes the launcher's full path as well as its name.
TEST_F(UninstPackImageTest, AManifestIsWrittenToAFileAndTakesTheLaunchersFullPath) {
  for (const char* file : {"Korvane.exe", "Uninst.exe", "模板/简历.lvf"}) MakeFile(file);
  const ToolRun toStdout = Manifest();
  ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;

  const ToolRun written = Manifest("-o " + Path("manifest.json"));
  ASSERT_EQ(written.exitCode, 0) << written.err;
  EXPECT_EQ(written.out, "");
  const std::string text = ReadAll(Path("manifest.json"));
  EXPECT_EQ(text, toStdout.out);
  EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("manifest.json") + " --output " +
                 Path("out.exe")).exitCode,
            0);

  const ToolRun fullPath = Manifest("--final-file 'C:\\Program Files\\Korvane\\Uninst.exe' --output " + Path("full.json"));
  ASSERT_EQ(fullPath.exitCode, 0) << fullPath.err;
  EXPECT_EQ(ReadAll(Path("full.json")), text) << "the name and the full path give the same manifest";

  // What is said of an entry is said at its line of the file written, and counted.
  std::string name;  // 25 + 80 + 1 + 160 = 266 bytes as GBK, under 255 bytes a name on Linux
  for (int i = 0; i < 40; ++i) name += "简";
  MakeFile(name + "/" + name + name);
  const ToolRun longName = Manifest("--program-folder Korvane -o " + Path("long.json"));
  ASSERT_EQ(longName.exitCode, 0) << longName.err;
  const std::string said = Path("long.json") + ":";
  const std::size_t at = longName.err.find(said);
  ASSERT_NE(at, std::string::npos) << longName.err;
  const std::size_t line = std::stoul(longName.err.substr(at + said.size()));
  EXPECT_NE(longName.err.find(": is 266 bytes long as GBK"), std::string::npos) << longName.err;
  std::istringstream lines(ReadAll(Path("long.json")));
  std::string lineText;
  for (std::size_t i = 0; i < line; ++i) std::getline(lines, lineText);
  EXPECT_NE(lineText.find(name), std::string::npos) << "line " << line << ": " << lineText;
  EXPECT_NE(longName.err.find("wrote " + Path("long.json") + ": 3 files in 3 groups; 1 warning"), std::string::npos)
      << longName.err;

  const ToolRun socket = Manifest("-o " + testing_files::MakeSocket(Path("socket")));
  EXPECT_EQ(socket.exitCode, 1);
  EXPECT_NE(socket.err.find("exists and is not a file"), std::string::npos) << socket.err;
  EXPECT_TRUE(fs::is_socket(Path("socket")));
}

// Resource.ini is read as the remover reads it: GBK text, line by line. What it would make the
// remover do otherwise than meant is warned of, in manifest and in plan, with the file and line.
TEST_F(UninstPackImageTest, ResourceIniIsCheckedAsTheRemoverReadsIt) {
  for (const char* file : {"Korvane.exe", "Uninst.exe", "Skins/dark/s1.png"}) MakeFile(file);
  MakeFile("Resource.ini", "[Resources]\r\nres_Skins=1\r\nres_..=1\r\nres_Fonts=1\r\n");
  const ToolRun ascii = Manifest();
  ASSERT_EQ(ascii.exitCode, 0) << ascii.err;
  EXPECT_NE(ascii.err.find("Resource.ini:3:1: warning: [UP2203] the line res_..=1 names no folder strictly inside"), std::string::npos)
      << ascii.err;
  EXPECT_NE(ascii.err.find("Resource.ini:4:1: warning: [UP2205] names C:\\Program Files\\Korvane\\Fonts, which the image does not hold"),
            std::string::npos) << ascii.err;
  EXPECT_EQ(ascii.err.find("Resource.ini:2:"), std::string::npos) << "Skins is in the image: " << ascii.err;

  fs::create_directories(Path("image/模板"));
  MakeFile("Resource.ini", "res_模板=1\r\n");  // UTF-8: GBK reads other characters
  const ToolRun utf8 = Manifest();
  EXPECT_NE(utf8.err.find("Resource.ini:1:5: warning: [UP2202] UTF-8 text: the remover reads it as GBK"), std::string::npos) << utf8.err;
  MakeFile("Resource.ini", std::string("r\0e\0s\0_\0S\0=\0\x31\0", 14));
  EXPECT_NE(Manifest().err.find("Resource.ini:1:1: warning: [UP2201] UTF-16 text"), std::string::npos);

  // plan, with the file the install folder will hold.
  MakeFile("Resource.ini", "res_模板=1\r\nres_..=1\r\n");
  ASSERT_EQ(Manifest("-o " + Path("m.json")).exitCode, 0);
  ASSERT_EQ(Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("m.json") + " --output " +
                 Path("packed.exe")).exitCode, 0);
  const ToolRun plan = Pack("plan " + Path("packed.exe") + " --resource-ini " + Path("image/Resource.ini"));
  EXPECT_EQ(plan.exitCode, 0) << plan.err;
  EXPECT_NE(plan.err.find(Path("image/Resource.ini") + ":1:5: warning: [UP2202] UTF-8 text"), std::string::npos) << plan.err;
  EXPECT_NE(plan.err.find(Path("image/Resource.ini") + ":2:1: warning: [UP2203] the line res_..=1"), std::string::npos) << plan.err;
}

// Every problem of an image is said in one run, each at its path, and counted; what is never a
// product's file is left out and said once; the options are checked as build checks the manifest.
TEST_F(UninstPackImageTest, AnImageIsListedWholeWithWhatIsLeftOutSaidOnce) {
  for (const char* file : {"Korvane.exe", "Uninst.exe", "bin/a.dll", "bin/a.pdb", "docs/internal/x.txt", "docs/manual.pdf",
                           ".git/HEAD", ".git/objects/ab/cd", "bin/Thumbs.db", ".DS_Store", "Desktop.ini",
                           "bin/a.dll~", "bin/.a.dll.swp", ".gitignore"})
    MakeFile(file);
  fs::create_symlink("/etc/passwd", Path("image/bin/passwd"));
  ASSERT_EQ(::mkfifo(Path("image/fifo").c_str(), 0600), 0);
  MakeFile("sub/b\\c.dll");
  MakeFile(std::string("sub/\xFF.dll"));
  const ToolRun all = Manifest("--program-folder Korvane");
  EXPECT_EQ(all.exitCode, 1);
  EXPECT_TRUE(all.out.empty());
  const std::vector<std::string> said = {
      Path("image/bin/passwd") + ": error: [UP1404] is a symbolic link",
      Path("image/fifo") + ": error: [UP1405] is neither a file nor a folder",
      Path("image/sub/b\\c.dll") + ": error: [UP1403] the name holds '\\'",
      Path("image/sub/\\xFF.dll") + ": error: [UP1402] the name is not UTF-8 text",
      "uninst-pack: 4 errors, 0 warnings\n",
  };
  for (const std::string& text : said) EXPECT_NE(all.err.find(text), std::string::npos) << text << "\n" << all.err;

  fs::remove(Path("image/bin/passwd"));
  fs::remove(Path("image/fifo"));
  fs::remove_all(Path("image/sub"));
  const ToolRun listed = Manifest("--program-folder Korvane --exclude '*.pdb' --exclude docs/internal");
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const Json written = Json::parse(listed.out);
  std::set<std::string> files;
  for (const Json& group : written["groups"])
    for (const std::string file : group["files"]) files.insert(file);
  EXPECT_EQ(files, (std::set<std::string>{"C:\\Program Files\\Korvane\\Korvane.exe", "C:\\Program Files\\Korvane\\bin\\a.dll",
                                          "C:\\Program Files\\Korvane\\docs\\manual.pdf"}));
  for (const char* line : {"uninst-pack: left out (--exclude *.pdb): bin/a.pdb\n",
                           "uninst-pack: left out (--exclude docs/internal): docs/internal/\n",
                           "uninst-pack: left out (version control, never a product's): .git/, .gitignore\n",
                           "uninst-pack: left out (a thumbnail cache, never a product's): bin/Thumbs.db\n",
                           "uninst-pack: left out (Finder's folder settings, never a product's): .DS_Store\n",
                           "uninst-pack: left out (Explorer's folder settings, never a product's): Desktop.ini\n",
                           "uninst-pack: left out (an editor's backup, never a product's): bin/a.dll~\n",
                           "uninst-pack: left out (an editor's swap file, never a product's): bin/.a.dll.swp\n",
                           "uninst-pack: a manifest of 3 files in 3 groups, 9 left out; 0 warnings\n"})
    EXPECT_NE(listed.err.find(line), std::string::npos) << line << listed.err;
  EXPECT_EQ(listed.err.find("HEAD"), std::string::npos) << "a folder left out is said once: " << listed.err;
  const ToolRun everything = Manifest("--program-folder Korvane --no-default-excludes");
  ASSERT_EQ(everything.exitCode, 0) << everything.err;
  EXPECT_NE(everything.out.find("Thumbs.db"), std::string::npos);
  EXPECT_NE(everything.out.find(".git\\\\objects\\\\ab\\\\cd"), std::string::npos);
}

TEST_F(UninstPackImageTest, TheOptionsAreCheckedAsBuildChecksTheManifest) {
  MakeFile("Korvane.exe");
  MakeFile("Uninst.exe");
  // A missing Start-menu folder and a launcher the image does not hold are said.
  const ToolRun options = Manifest("--final-file Unistall.exe");
  EXPECT_EQ(options.exitCode, 0) << options.err;
  EXPECT_NE(options.err.find("uninst-pack: warning: [UP2301] no --program-folder: programFolderName is empty"),
            std::string::npos)
      << options.err;
  EXPECT_NE(options.err.find("uninst-pack: warning: [UP2302] --final-file Unistall.exe: the image holds no such file"),
            std::string::npos)
      << options.err;
  EXPECT_EQ(Manifest("--program-folder Korvane --final-file UNINST.EXE").err.find("UP2302"), std::string::npos)
      << "names compare without case, as on Windows";
  EXPECT_EQ(Manifest("--program-folder Korvane").err.find("warning:"), std::string::npos);

  // The install folder, once, as build says it of installDir; written with '\' only.
  const ToolRun root = Pack("manifest --image " + Path("image") + " --install-dir 'C:\\'");
  EXPECT_EQ(root.exitCode, 1);
  EXPECT_EQ(root.err, "uninst-pack: error: [UP1120] --install-dir: \"C:\\\" is a folder the remover refuses as an install "
                      "folder: it is a drive or share root\n");
  const ToolRun slashes =
      Pack("manifest --image " + Path("image") + " --install-dir 'C:/Program Files/Korvane' --program-folder Korvane");
  ASSERT_EQ(slashes.exitCode, 0) << slashes.err;
  EXPECT_EQ(slashes.out.find('/'), std::string::npos) << slashes.out;
  EXPECT_EQ(Json::parse(slashes.out)["installDir"], "C:\\Program Files\\Korvane");
}

// plan and manifest say only what the remover does: in a UTF-16 Resource.ini it finds no folder,
// so no folder is said to go; and no control character is ever printed, only its escape.
TEST_F(UninstPackImageTest, NothingSaysAFolderGoesThatTheRemoverCannotFind) {
  MakeFile("Korvane.exe");
  MakeFile("Uninst.exe");
  MakeFile("Skins/s.png");
  const std::string utf16 = std::string("r\0e\0s\0_\0S\0k\0i\0n\0s\0=\0\x31\0\r\0\n\0", 26);
  MakeFile("Resource.ini", utf16);
  const ToolRun manifest = Manifest("--program-folder Korvane -o " + Path("m.json"));
  ASSERT_EQ(manifest.exitCode, 0) << manifest.err;
  EXPECT_EQ(manifest.err.find('\0'), std::string::npos);
  EXPECT_EQ(manifest.err.find("names C:"), std::string::npos) << "no folder is named: " << manifest.err;
  EXPECT_NE(manifest.err.find("warning: [UP2201] UTF-16 text: the remover reads GBK and finds no folder in it"),
            std::string::npos)
      << manifest.err;
  EXPECT_NE(ReadAll(Path("m.json")).find("Skins\\\\s.png"), std::string::npos) << "Skins stays listed";
  ASSERT_EQ(Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("m.json") + " -o " + Path("packed.exe"))
                .exitCode,
            0);
  const std::string plan = "plan " + Path("packed.exe") + " --resource-ini " + Path("image/Resource.ini");
  for (const std::string& form : {plan, plan + " --json"}) {
    const ToolRun run = Pack(form);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("resource-folder remove-tree"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"remove-tree\",\n    \"path\": \"C:\\\\Program Files\\\\Korvane\\\\s"), std::string::npos);
    EXPECT_NE(run.out.find("UTF-16 text: the folder's name holds the control character U+0000"), std::string::npos) << run.out;
    for (const char c : run.out + run.err) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << int(c);
  }

  // A GBK file with a control character in a line: warned of, and no folder said to go.
  MakeFile("Resource.ini", "res_Ski\x01ns=1\r\n");
  const ToolRun control = Pack(plan);
  EXPECT_NE(control.err.find("warning: [UP2206] the line names a folder whose name holds the control character U+0001"),
            std::string::npos)
      << control.err;
  EXPECT_NE(control.out.find("resource-folder    skip             res_Ski\\u0001ns=1"), std::string::npos) << control.out;
}

class UninstPackPlanTest : public UninstPackTest {
 protected:
  // Packs `records` as they are, past every check of uninst-pack build: a plan must describe
  // any payload, made by any tool.
  void PackRecords(const payload::RemovalRecords& records) {
    fw::File out;
    ASSERT_TRUE(out.Open(Path("packed.exe"), fw::File::Mode::CreateWrite));
    out.Write(launcherImage_.data(), launcherImage_.size());
    payload::AppendPayload(out, launcherImage_.size(), records, records.FileTotal());
  }
  // (stage, action, path) of every step, in order.
  std::vector<std::string> Steps(const std::string& args) {
    const ToolRun run = Pack("plan --json " + args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Json plan = Json::parse(run.out);
    std::vector<std::string> steps;
    for (const Json& step : plan["steps"])
      steps.push_back(step["stage"].get<std::string>() + " " + step["action"].get<std::string>() + " " +
                      step["path"].get<std::string>());
    return steps;
  }
};

// A file listed again (in another case, or as the final file) is deleted once: the second entry
// finds nothing.
TEST_F(UninstPackPlanTest, AFileListedAgainIsDeletedOnce) {
  const std::string dir = "C:\\Program Files\\Korvane\\";
  payload::RemovalRecords records;
  records.header = {"", dir, dir + "a.dll"};
  records.groups = {{"", {dir + "a.dll", dir + "b.dll"}}, {"", {dir + "A.DLL"}}};
  PackRecords(records);
  const std::vector<std::string> steps = Steps(Path("packed.exe"));
  ASSERT_GE(steps.size(), 6u);
  const std::vector<std::string> files(steps.begin() + 2, steps.begin() + 6);  // after the resource steps
  EXPECT_EQ(files, (std::vector<std::string>{"file delete " + dir + "a.dll", "file delete " + dir + "b.dll",
                                             "file skip " + dir + "A.DLL", "final-file skip " + dir + "a.dll"}));
}

// A payload from any tool may end a file's path in a separator: it names no file, and the remover
// finds none by it (taken apart, the path would name the file before the separator).
TEST_F(UninstPackPlanTest, AFileEndingInASeparatorIsSkipped) {
  const std::string dir = "C:\\Program Files\\Korvane\\";
  payload::RemovalRecords records;
  records.header = {"", dir, dir + "Uninst.exe\\"};
  records.groups = {{"", {dir + "a.dll\\", dir + "b.dll/", dir + "c.dll"}}};
  PackRecords(records);
  const std::vector<std::string> steps = Steps(Path("packed.exe"));
  ASSERT_GE(steps.size(), 6u);
  const std::vector<std::string> files(steps.begin() + 2, steps.begin() + 6);
  EXPECT_EQ(files, (std::vector<std::string>{"file skip " + dir + "a.dll\\", "file skip " + dir + "b.dll/",
                                             "file delete " + dir + "c.dll", "final-file skip " + dir + "Uninst.exe\\"}));
  EXPECT_NE(Pack("plan " + Path("packed.exe")).out.find("ends in a separator"), std::string::npos);
}

TEST_F(UninstPackPlanTest, APlanFollowsTheRemoversOrderAndRules) {
  const std::string dir = "C:\\Program Files\\Korvane\\";
  payload::RemovalRecords records;
  records.header = {"Korvane", dir, dir + "Uninst.exe"};
  records.groups = {
      {"C:\\Windows", {dir + "a.dll", "relative.dll"}},
      {"", {dir + std::string(240, 'x'), "C:\\a\x81"}},
      {"\\\\server\\share\\Korvane", {"\\\\?\\C:\\x.dll"}},
      {"C:\\Program Files\\Korvane", {dir + "b.dll"}},
  };
  PackRecords(records);
  WriteAll(Path("Resource.ini"), "[Resources]\r\nres_Skins=1\r\nres_..=1\r\nres_Fonts\\a=1\r\nplain line\r\n");

  const std::vector<std::string> expected = {
      "resource-folder remove-tree " + dir + "Skins",
      "resource-folder skip res_..=1",
      "resource-folder remove-tree " + dir + "Fonts\\a",
      "resource-list delete " + dir + "Resource.ini",
      "file delete " + dir + "a.dll",
      "file skip relative.dll",
      "file skip " + dir + std::string(240, 'x'),
      "file skip C:\\a\\x81",
      "file skip \\\\?\\C:\\x.dll",
      "file delete " + dir + "b.dll",
      "final-file delete " + dir + "Uninst.exe",
      "folder remove-tree C:\\Program Files\\Korvane",
      "folder remove-if-empty \\\\server\\share\\Korvane",
      "folder refuse C:\\Windows",
      "shortcut delete {Desktop}\\Zintera.lnk",
      "shortcut delete {Programs}\\Korvane\\Zintera.lnk",
      "shortcut delete {Programs}\\Korvane\\卸载Zintera.lnk",
      "shortcut delete {Programs}\\Korvane\\帮助文档.lnk",
      "start-menu-folder remove-if-empty {Programs}\\Korvane",
      "registry remove-tree HKEY_CURRENT_CONFIG\\Lettrova",
      "registry remove-tree HKEY_CLASSES_ROOT\\.lvf",
      "registry remove-tree HKEY_CLASSES_ROOT\\Lettrova.Document",
  };
  const std::string args = Path("packed.exe") + " --resource-ini " + Path("Resource.ini");
  EXPECT_EQ(Steps(args), expected);

  // 否: the group folders lose only what is or becomes empty; resource folders go whole anyway.
  std::vector<std::string> no = expected;
  no[11] = "folder remove-empty C:\\Program Files\\Korvane";
  EXPECT_EQ(Steps(args + " --answer no"), no);

  // Each skip and refusal says why, the readable form included.
  const ToolRun text = Pack("plan " + args);
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* why : {"not a plain full path", "260 bytes or more", "not GBK text", "a network share",
                          "the folder guard: it is the Windows folder", "names no folder strictly inside",
                          "standard Windows layout", "是"})
    EXPECT_NE(text.out.find(why), std::string::npos) << why << "\n" << text.out;

  // Without the Resource.ini, the plan says that step is unknown.
  const std::vector<std::string> unknown = Steps(Path("packed.exe"));
  EXPECT_EQ(unknown.front(), "resource-folder unknown " + dir + "Resource.ini");
  EXPECT_EQ(unknown.size(), expected.size() - 2);
}

// A payload whose install folder is a root or a system folder (any tool may have written it): the
// remover neither reads nor deletes a Resource.ini there, and the plan says so; the files go on.
TEST_F(UninstPackPlanTest, AnInstallFolderTheGuardRefusesHasNoResourceList) {
  WriteAll(Path("Resource.ini"), "res_Victim=1\r\n");
  for (const std::string dir : {"C:\\", "C:\\ProgramData\\", "C:\\Windows\\Korvane\\"}) {
    payload::RemovalRecords records;
    records.header = {"Korvane", dir, ""};
    records.groups = {{"", {"C:\\Korvane\\a.dll"}}};
    PackRecords(records);
    const std::vector<std::string> steps = Steps(Path("packed.exe") + " --resource-ini " + Path("Resource.ini"));
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0], "resource-list refuse " + dir + "Resource.ini") << dir;
    EXPECT_EQ(steps[1], "file delete C:\\Korvane\\a.dll") << dir;
  }
}

// A payload written by any tool may list known folders and other products' folders as groups:
// the plan says what the remover does with each (refused, or removed only when empty).
TEST_F(UninstPackPlanTest, KnownFoldersAreRefusedAndOtherProductsFoldersGoOnlyWhenEmpty) {
  payload::RemovalRecords records;
  records.header = {"Korvane", "C:\\Program Files\\Korvane\\", ""};
  records.groups = {{"C:\\Users\\bob\\AppData\\Local\\Programs", {}},
                    {"C:\\Users\\bob\\3D Objects", {}},
                    {"C:\\Recovery", {}},
                    {"C:\\Program Files\\Common Files\\Microsoft Shared", {}},
                    {"C:\\Users\\bob\\AppData\\Local\\Programs\\Korvane", {}},
                    {"C:\\Program Files\\Korvane", {"C:\\Program Files\\Korvane\\a.dll"}}};
  PackRecords(records);
  const std::vector<std::string> steps = Steps(Path("packed.exe"));
  for (const std::string step :
       {"folder remove-tree C:\\Program Files\\Korvane", "folder remove-tree C:\\Users\\bob\\AppData\\Local\\Programs\\Korvane",
        "folder remove-if-empty C:\\Program Files\\Common Files\\Microsoft Shared", "folder remove-if-empty C:\\Recovery",
        "folder refuse C:\\Users\\bob\\3D Objects", "folder refuse C:\\Users\\bob\\AppData\\Local\\Programs"})
    EXPECT_EQ(std::count(steps.begin(), steps.end(), step), 1) << step;
  const ToolRun text = Pack("plan " + Path("packed.exe"));
  for (const char* why : {"the known folder Objects3D", "the known folder UserProgramFiles", "another product's folder"})
    EXPECT_NE(text.out.find(why), std::string::npos) << why << "\n" << text.out;

  // An install folder the guard refuses makes nothing the product's: C:\ holds every product.
  records.header.installDir = "C:\\";
  records.groups = {{"C:\\Recovery", {"C:\\Recovery\\a.dll"}}};
  PackRecords(records);
  const std::vector<std::string> fromRoot = Steps(Path("packed.exe"));
  EXPECT_EQ(std::count(fromRoot.begin(), fromRoot.end(), "folder remove-if-empty C:\\Recovery"), 1);
}

TEST_F(UninstPackPlanTest, StartMenuFoldersTheRemoverLeavesAreMarked) {
  for (const auto& [name, step] : {std::pair<std::string, std::string>{"Startup", "start-menu-folder refuse {Programs}\\Startup"},
                                   {"..\\Windows", "start-menu-folder skip {Programs}\\..\\Windows"},
                                   {"", "start-menu-folder skip {Programs}\\"}}) {
    payload::RemovalRecords records;
    records.header = {name, "C:\\Korvane\\", ""};
    records.groups = {{"", {"C:\\Korvane\\a.dll"}}};
    PackRecords(records);
    const std::vector<std::string> steps = Steps(Path("packed.exe"));
    EXPECT_EQ(std::count(steps.begin(), steps.end(), step), 1) << name;
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), [](const std::string& s) { return s.starts_with("shortcut"); }), 1)
        << "only the desktop's for " << name;
  }

  const ToolRun bare = Pack("plan " + Path("Uninst.exe"));
  EXPECT_EQ(bare.exitCode, 1);
  EXPECT_NE(bare.err.find("carries no payload"), std::string::npos) << bare.err;
}

// A payload any tool wrote may name paths with control characters: the remover finds nothing
// there, and plan and inspect show each as its escape.
TEST_F(UninstPackPlanTest, ControlCharactersInAPayloadAreShownEscapedAndFindNothing) {
  payload::RemovalRecords records;
  records.header = {"Kor\x1b[31mvane", "C:\\Korvane\\", "C:\\Korvane\\a\x07.exe"};
  records.groups = {{"C:\\Korvane\\b\nin", {"C:\\Korvane\\b\nin\\x.dll", "C:\\Korvane\\y.dll"}}};
  PackRecords(records);
  const std::vector<std::string> steps = Steps(Path("packed.exe"));
  for (const std::string step : {"file skip C:\\Korvane\\b\\nin\\x.dll", "file delete C:\\Korvane\\y.dll",
                                  "final-file skip C:\\Korvane\\a\\u0007.exe", "folder skip C:\\Korvane\\b\\nin"})
    EXPECT_EQ(std::count(steps.begin(), steps.end(), step), 1) << step;
  for (const std::string command : {"plan ", "inspect "}) {
    const ToolRun run = Pack(command + Path("packed.exe"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << command;
    EXPECT_EQ(run.out.find('\x07'), std::string::npos) << command;
    EXPECT_NE(run.out.find("Kor\\u001b[31mvane"), std::string::npos) << run.out;
  }
}

}  // namespace
