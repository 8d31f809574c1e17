#pragma once
// uninst-pack run as the vendor's pipelines run it: the real binary on real files in a scratch
// folder, its exit code, stdout and stderr kept apart.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "PeFixtures.h"
#include "TestFiles.h"

namespace testing_pack {

using Json = nlohmann::ordered_json;

struct ToolRun {
  int exitCode;
  std::string out;  // stdout
  std::string err;  // stderr
};

class UninstPackTest : public testing_files::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    launcherImage_ = testpe::Launcher();
    testing_files::WriteAll(Path("Uninst.exe"), launcherImage_);
  }

  ToolRun Pack(const std::string& args) {
    const std::string errPath = Path("stderr.txt");
    const std::string command = std::string(UNINST_PACK) + " " + args + " 2>" + errPath;
    ToolRun run{-1, "", ""};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = testing_files::ReadAll(errPath);
    return run;
  }

  // Packs Uninst.exe with the manifest text `text` into `output`; `more` goes at the end.
  ToolRun BuildText(const std::string& text, const std::string& output = "out.exe", const std::string& more = "") {
    testing_files::WriteAll(Path("manifest.json"), text);
    return Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("manifest.json") + " --output '" +
                Path(output) + "' " + more);
  }
  ToolRun Build(const Json& manifest, const std::string& output = "out.exe", const std::string& more = "") {
    return BuildText(manifest.dump(), output, more);
  }

  // A manifest with Chinese paths, as a Korvane installation has them.
  static Json ChineseManifest() {
    return Json::parse(R"({
      "programFolderName": "Korvane 办公",
      "installDir": "C:\\Program Files\\Korvane 乗\\",
      "finalFile": "C:\\Program Files\\Korvane 乗\\Uninst.exe",
      "groups": [
        {"folder": "C:\\Program Files\\Korvane 乗\\模板", "files": ["C:\\Program Files\\Korvane 乗\\模板\\简历.lvf", "C:\\x.dll"]},
        {"folder": "C:\\Program Files\\Korvane 乗\\空", "files": []},
        {"folder": "C:\\Program Files\\Korvane 乗", "files": ["C:\\Program Files\\Korvane 乗\\Korvane.exe"]}
      ]})");
  }

  // A manifest the tool has nothing to say about.
  static Json CleanManifest() {
    return Json::parse(R"({
      "programFolderName": "Korvane",
      "installDir": "C:\\Program Files\\Korvane\\",
      "finalFile": "C:\\Program Files\\Korvane\\Uninst.exe",
      "groups": [
        {"folder": "C:\\Program Files\\Korvane", "files": ["C:\\Program Files\\Korvane\\Korvane.exe"]},
        {"folder": "C:\\Program Files\\Korvane\\bin", "files": ["C:\\Program Files\\Korvane\\bin\\render.dll"]}
      ]})");
  }

  bool Wrote(const std::string& output = "out.exe") const { return std::filesystem::exists(Path(output)); }

  std::string launcherImage_;
};

}  // namespace testing_pack
