// uninst-pack as pipelines use it: a manifest from a FIFO, a pipe or standard input, outputs that
// are links or "-", a run interrupted by a signal, and the diagnostics' codes and options.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "UninstPackRun.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::WriteAll;
using testing_pack::Json;
using testing_pack::ToolRun;
using testing_pack::UninstPackTest;

class UninstPackConventionsTest : public UninstPackTest {
 protected:
  // No file of the run is left beside an output in the scratch folder.
  bool NothingLeftBeside() const {
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename().string().find(".uninst-pack-") != std::string::npos) return false;
    return true;
  }
  std::string BuildArgs(const std::string& manifest, const std::string& output = "out.exe") {
    return "build --launcher " + Path("Uninst.exe") + " --manifest " + manifest + " -o " + Path(output);
  }
};

// The manifest is read once, whatever it comes through: the same text gives the same payload and
// the same diagnostics from a file, a FIFO, a pipe and standard input.
TEST_F(UninstPackConventionsTest, TheManifestIsReadOnceWhateverItComesThrough) {
  WriteAll(Path("m.json"), CleanManifest().dump());
  ASSERT_EQ(Pack(BuildArgs(Path("m.json"), "file.exe")).exitCode, 0);
  const std::string packed = ReadAll(Path("file.exe"));
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const std::string m = "'" + Path("m.json") + "'";
  // Each bounded in time: a FIFO opened twice waits for ever.
  const std::pair<std::string, std::string> ways[] = {
      {"a FIFO", "(cat " + m + " > " + Path("fifo") + " &); timeout 20 " + UNINST_PACK + " " + BuildArgs(Path("fifo"))},
      {"a pipe as /dev/stdin", "cat " + m + " | timeout 20 " + UNINST_PACK + " " + BuildArgs("/dev/stdin")},
      {"a pipe as -", "cat " + m + " | timeout 20 " + UNINST_PACK + " " + BuildArgs("-")},
      {"a file as -", "timeout 20 " + std::string(UNINST_PACK) + " " + BuildArgs("-") + " < " + m},
      {"process substitution", "bash -c \"timeout 20 " + std::string(UNINST_PACK) + " " + BuildArgs("<(cat " + m + ")") + "\""},
  };
  for (const auto& [way, command] : ways) {
    SCOPED_TRACE(way);
    fs::remove(Path("out.exe"));
    const std::string errPath = Path("err.txt");
    EXPECT_EQ(std::system((command + " > /dev/null 2> " + errPath).c_str()), 0) << ReadAll(errPath);
    EXPECT_EQ(ReadAll(Path("out.exe")), packed);
  }

  // A mistake is said alike through a pipe, named as standard input.
  WriteAll(Path("bad.json"), "{\"installDir\": 1,}");
  const ToolRun file = Pack(BuildArgs(Path("bad.json")));
  const ToolRun piped = Pack(BuildArgs("-") + " < " + Path("bad.json"));
  EXPECT_EQ(piped.exitCode, 1);
  EXPECT_EQ(piped.err, "<stdin>" + file.err.substr(Path("bad.json").size())) << piped.err;

  // A folder is no manifest, said in the tool's words.
  fs::create_directory(Path("folder"));
  const ToolRun folder = Pack(BuildArgs(Path("folder")));
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_EQ(folder.err, "uninst-pack: error: [UP1001] cannot read the manifest " + Path("folder") +
                            ": it is a folder; give the manifest's file\n");
}

// A run interrupted while it writes (SIGINT, SIGTERM, SIGHUP) ends by that signal, leaves no
// file beside the output, and the output as it was.
TEST_F(UninstPackConventionsTest, AnInterruptedBuildLeavesNothingBehind) {
  // A launcher and a payload large enough that writing them takes a while.
  WriteAll(Path("Uninst.exe"), launcherImage_ + std::string(48 << 20, '\0'));
  Json manifest = CleanManifest();
  for (int i = 0; i < 20000; ++i) manifest["groups"][1]["files"].push_back("C:\\Program Files\\Korvane\\bin\\f" + std::to_string(i));
  WriteAll(Path("m.json"), manifest.dump());
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    bool caught = false;
    for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
      WriteAll(Path("out.exe"), "as it was");
      const std::string tool = UNINST_PACK, launcher = Path("Uninst.exe"), m = Path("m.json"), out = Path("out.exe");
      const char* argv[] = {tool.c_str(), "build",      "--launcher", launcher.c_str(), "--manifest",
                            m.c_str(),    "--output", out.c_str(),  nullptr};
      pid_t pid = 0;
      ASSERT_EQ(::posix_spawn(&pid, tool.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
      // The moment the file beside the output appears, the signal.
      bool seen = false;
      int status = 0;
      while (!seen && ::waitpid(pid, &status, WNOHANG) == 0) seen = !NothingLeftBeside();
      if (seen) {
        ::kill(pid, signal);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      }
      if (!WIFSIGNALED(status)) continue;  // done before the signal came: again
      caught = true;
      EXPECT_EQ(WTERMSIG(status), signal);
      EXPECT_TRUE(NothingLeftBeside());
      EXPECT_EQ(ReadAll(Path("out.exe")), "as it was");
    }
    EXPECT_TRUE(caught) << "no run was interrupted while it wrote";
  }
}

// build -o; an output that is a symbolic link is refused, the link and what it points to kept;
// "-" is standard output for a manifest, and refused for the packed program.
TEST_F(UninstPackConventionsTest, OutputsThatAreLinksOrDashAreSaidForWhatTheyAre) {
  WriteAll(Path("m.json"), CleanManifest().dump());
  const ToolRun shortOption = Pack(BuildArgs(Path("m.json")));
  ASSERT_EQ(shortOption.exitCode, 0) << shortOption.err;

  WriteAll(Path("target.exe"), "somebody's");
  fs::create_symlink(Path("target.exe"), Path("link.exe"));
  const ToolRun link = Pack(BuildArgs(Path("m.json"), "link.exe"));
  EXPECT_EQ(link.exitCode, 1);
  EXPECT_NE(link.err.find("error: [UP1304] the output " + Path("link.exe") + " is a symbolic link (to " + Path("target.exe")),
            std::string::npos)
      << link.err;
  EXPECT_TRUE(fs::is_symlink(Path("link.exe")));
  EXPECT_EQ(ReadAll(Path("target.exe")), "somebody's");

  const ToolRun dash = Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("m.json") + " -o -");
  EXPECT_EQ(dash.exitCode, 1);
  EXPECT_NE(dash.err.find("error: [UP1308] build writes a program, which standard output does not carry safely"),
            std::string::npos)
      << dash.err;
  EXPECT_TRUE(dash.out.empty());
  EXPECT_FALSE(fs::exists("-"));

  fs::create_directories(Path("image"));
  WriteAll(Path("image/Korvane.exe"), "");
  const std::string manifest = "manifest --image " + Path("image") + " --install-dir 'C:\\Korvane\\' --program-folder Korvane";
  const ToolRun toDash = Pack("-q " + manifest + " -o -");
  EXPECT_EQ(toDash.exitCode, 0) << toDash.err;
  EXPECT_EQ(toDash.out, Pack(manifest).out);
  EXPECT_FALSE(fs::exists("-"));
  const ToolRun toLink = Pack(manifest + " -o " + Path("link.exe"));
  EXPECT_EQ(toLink.exitCode, 1);
  EXPECT_NE(toLink.err.find("[UP1304]"), std::string::npos) << toLink.err;
  EXPECT_TRUE(NothingLeftBeside());
}

// Every diagnostic carries its code; a warning can be turned off, the errors said capped, the
// warnings left unsaid (-q), and everything said as JSON lines.
TEST_F(UninstPackConventionsTest, DiagnosticsHaveCodesAndTheOptionsPipelinesNeed) {
  Json manifest = CleanManifest();
  manifest["groups"][0]["folder"] = "";
  manifest["groups"][0]["files"].push_back("C:\\outside.dll");            // UP2101
  manifest["groups"][0]["files"].push_back("C:\\Program Files\\Korvane\\a*.dll");  // UP1105
  manifest["groups"][0]["files"].push_back("C:\\Program Files\\Korvane\\CON");     // UP1108
  manifest["groups"][0]["files"].push_back("C:\\Program Files\\Korvane\\x.");      // UP1106
  WriteAll(Path("m.json"), manifest.dump(1));
  const std::string build = BuildArgs(Path("m.json"));

  const ToolRun all = Pack(build);
  EXPECT_EQ(all.exitCode, 1);
  EXPECT_NE(all.err.find(": warning: [UP2101] groups[0].files[1]: \"C:\\outside.dll\" lies outside"), std::string::npos)
      << all.err;
  EXPECT_NE(all.err.find(": error: [UP1105] groups[0].files[2]:"), std::string::npos) << all.err;
  EXPECT_NE(all.err.find("uninst-pack: 3 errors, 1 warning\n"), std::string::npos) << all.err;

  const ToolRun off = Pack("--warn-off UP2101 " + build);
  EXPECT_EQ(off.err.find("UP2101"), std::string::npos) << off.err;
  EXPECT_NE(off.err.find("uninst-pack: 3 errors, 0 warnings (1 more turned off)\n"), std::string::npos) << off.err;
  EXPECT_EQ(Pack(build + " --warn-off UP1105").exitCode, 2) << "errors cannot be turned off";
  EXPECT_EQ(Pack(build + " --warn-off UP2999").exitCode, 2);

  const ToolRun capped = Pack(build + " --max-errors 1");
  EXPECT_NE(capped.err.find("[UP2101]"), std::string::npos) << capped.err;
  EXPECT_NE(capped.err.find("[UP1105]"), std::string::npos) << capped.err;
  EXPECT_EQ(capped.err.find("[UP1108]"), std::string::npos) << capped.err;
  EXPECT_NE(capped.err.find("uninst-pack: stopped after 1 error (--max-errors): 2 more errors and 0 more warnings not shown\n"),
            std::string::npos)
      << capped.err;
  EXPECT_NE(capped.err.find("uninst-pack: 3 errors, 1 warning\n"), std::string::npos) << capped.err;
  EXPECT_EQ(Pack(build + " --max-errors lots").exitCode, 2);

  const ToolRun quiet = Pack("-q " + build);
  EXPECT_EQ(quiet.exitCode, 1);
  std::istringstream lines(quiet.err);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count) EXPECT_NE(line.find(": error: [UP11"), std::string::npos) << line;
  EXPECT_EQ(count, 3u) << quiet.err;

  const ToolRun json = Pack(build + " --diagnostics json");
  EXPECT_EQ(json.exitCode, 1);
  std::istringstream jsonLines(json.err);
  std::vector<Json> said;
  for (std::string line; std::getline(jsonLines, line);) said.push_back(Json::parse(line));
  ASSERT_EQ(said.size(), 4u) << json.err;
  EXPECT_EQ(said[0]["severity"], "warning");
  EXPECT_EQ(said[0]["code"], "UP2101");
  EXPECT_EQ(said[0]["file"], Path("m.json"));
  EXPECT_TRUE(said[0]["line"].is_number());
  EXPECT_EQ(said[0]["path"], "groups[0].files[1]");
  EXPECT_EQ(said[1]["code"], "UP1105");
  EXPECT_TRUE(said[1]["hint"].is_null());

  // A clean run: -q says nothing at all; the count names what was turned off.
  manifest = CleanManifest();
  manifest["groups"][0]["folder"] = "";
  manifest["groups"][0]["files"].push_back("C:\\outside.dll");
  WriteAll(Path("m.json"), manifest.dump());
  const ToolRun clean = Pack("-q " + build);
  EXPECT_EQ(clean.exitCode, 0) << clean.err;
  EXPECT_EQ(clean.err + clean.out, "");
  EXPECT_NE(Pack(build + " --warn-off up2101").out.find("; 0 warnings (1 more turned off)"), std::string::npos);
  // --strict makes the warnings errors, with their codes.
  const ToolRun strict = Pack(build + " --strict");
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_NE(strict.err.find(": error: [UP2101] groups[0].files[1]"), std::string::npos) << strict.err;
  EXPECT_NE(strict.err.find("uninst-pack: 1 error, 0 warnings (1 warning made errors: --strict makes them errors)"),
            std::string::npos)
      << strict.err;
  EXPECT_EQ(Pack(build + " --strict --warn-off UP2101").exitCode, 0);
}

// What misled: a parser's or a library's own words, a hint that says "ends early" of a comment,
// a key in another case taken for an unknown one.
TEST_F(UninstPackConventionsTest, MessagesSayTheMistakeNotTheLibrarysGrammar) {
  const std::pair<std::string, std::string> texts[] = {
      {"{\"programFolderName\": \"Korvane\", // the product\n}", "1:34: error: [UP1004] not valid JSON: a comment"},
      {"{/* a manifest */}", "1:2: error: [UP1004] not valid JSON: a comment"},
      {"{\"groups\": [],\n}", "1:14: error: [UP1005] not valid JSON: a comma after the last member"},
      {"{\"groups\": [1, 2,]}", "1:17: error: [UP1005] not valid JSON: a comma after the last element"},
      {"{\"groups\": []}\n}", "2:1: error: [UP1006] not valid JSON: text after the end of the manifest, whose JSON ends at "
                              "line 1, column 14"},
      {"{\"groups\": []}{\"groups\": []}", "1:15: error: [UP1006]"},
      {"{\"groups\": [}", "1:13: error: [UP1003] not valid JSON: '}' where the '[' at line 1, column 12 is to be closed with ']'"},
      {"{'groups': []}", "1:2: error: [UP1003] not valid JSON: JSON writes keys in double quotes"},
      {"{\"groups\": [], \"finalFile\": True}", "1:29: error: [UP1003] not valid JSON: JSON writes true in lower case"},
      {"", "1:1: error: [UP1007] not valid JSON: the manifest holds no JSON: it is empty"},
  };
  for (const auto& [text, said] : texts) {
    const ToolRun run = BuildText(text);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(Path("manifest.json") + ":" + said), std::string::npos) << text << "\n" << run.err;
    EXPECT_EQ(run.err.find("ends early"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("syntax error"), std::string::npos) << run.err;
    EXPECT_FALSE(Wrote());
  }

  std::string text = CleanManifest().dump();
  text.replace(text.find("\"installDir\""), 12, "\"INSTALLDIR\"");
  const ToolRun cased = BuildText(text);
  EXPECT_EQ(cased.exitCode, 1);
  EXPECT_NE(cased.err.find("error: [UP1011] INSTALLDIR: missing field \"installDir\" (the manifest has \"INSTALLDIR\": keys "
                           "are told apart by case: write \"installDir\")"),
            std::string::npos)
      << cased.err;
  EXPECT_EQ(cased.err.find("unknown key"), std::string::npos) << "said once, as the missing key's typo: " << cased.err;
  EXPECT_NE(cased.err.find("uninst-pack: 1 error, 0 warnings"), std::string::npos) << cased.err;

  // The command line, in the tool's words.
  WriteAll(Path("m.json"), CleanManifest().dump());
  const std::pair<std::string, std::string> lines[] = {
      {BuildArgs(Path("m.json")) + " -o " + Path("again.exe"), "uninst-pack: error: [UP3001] --output is given more than once"},
      {"--strict " + BuildArgs(Path("m.json")), "uninst-pack: error: [UP3001] --strict is an option of build: write it after"},
      {"build --launcher " + Path("Uninst.exe"), "uninst-pack: error: [UP3001] build needs --manifest"},
      {"", "uninst-pack: error: [UP3001] no command: give one of manifest, build, inspect or plan"},
      {"plan --answer maybe " + Path("out.exe"), "uninst-pack: error: [UP3002] --answer takes yes (是) or no (否), not maybe"},
      {"build -o", "uninst-pack: error: [UP3001] --output needs a value"},
      {"inspect x --diagnostics xml", "uninst-pack: error: [UP3002] --diagnostics takes text or json, not xml"},
  };
  for (const auto& [args, said] : lines) {
    const ToolRun run = Pack(args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_EQ(run.err.rfind(said, 0), 0u) << args << "\n" << run.err;
    EXPECT_EQ(run.err.find("required"), std::string::npos) << run.err;
  }
  // --version after a command, and the options of what is said before it.
  EXPECT_EQ(Pack("build --version").out, Pack("--version").out);
  EXPECT_EQ(Pack("-q " + BuildArgs(Path("m.json"))).exitCode, 0);
  // Command-line errors as JSON too, when asked.
  const ToolRun json = Pack("--diagnostics json build --launcher x");
  EXPECT_EQ(json.exitCode, 2);
  EXPECT_EQ(Json::parse(json.err)["code"], "UP3001");
}

}  // namespace
