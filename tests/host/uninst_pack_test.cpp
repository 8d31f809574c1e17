// uninst-pack as the vendor's pipelines call it: the real binary, real files.
#include <functional>
#include <regex>

#include "Trailer.h"
#include "PeFixtures.h"
#include "Signing.h"
#include "UninstPackRun.h"

namespace {

using testing_files::ReadAll;
using testing_files::WriteAll;
using testing_pack::Json;
using testing_pack::ToolRun;
using testing_pack::UninstPackTest;

TEST_F(UninstPackTest, BuildThenInspectJsonRoundTripsChinesePaths) {
  const Json manifest = ChineseManifest();
  const ToolRun build = Build(manifest);
  ASSERT_EQ(build.exitCode, 0) << build.err;
  const std::string bytes = ReadAll(Path("out.exe"));
  EXPECT_EQ(bytes.substr(0, launcherImage_.size()), launcherImage_) << "the image stays in front, untouched";

  const ToolRun inspect = Pack("inspect --json " + Path("out.exe"));
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  Json shown = Json::parse(inspect.out);
  const Json trailer = shown["trailer"];
  EXPECT_EQ(trailer["blockSize"], 1024);
  EXPECT_EQ(trailer["recordsOffset"], launcherImage_.size());
  EXPECT_EQ(trailer["endOffset"], launcherImage_.size() + 1040);
  EXPECT_EQ(trailer["fileTotal"], 3);
  EXPECT_EQ(shown["image"], "PE32+ (x64)");
  shown.erase("trailer");
  shown.erase("image");
  EXPECT_EQ(shown, manifest);

  // The strings inside are GBK: 乗 is 81 5C.
  EXPECT_NE(bytes.find("Korvane \x81\x5C\\"), std::string::npos);

  // And the JSON that inspect prints is itself a manifest.
  WriteAll(Path("again.json"), inspect.out);
  const ToolRun again = Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("again.json") +
                         " --output " + Path("again.exe"));
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ReadAll(Path("again.exe")), bytes);
}

TEST_F(UninstPackTest, ReadableInspectShowsTrailerAndRecords) {
  ASSERT_EQ(Build(ChineseManifest()).exitCode, 0);
  const ToolRun inspect = Pack("inspect " + Path("out.exe"));
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  EXPECT_NE(inspect.out.find("fileTotal=3"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("programFolderName: Korvane 办公"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("简历.lvf"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("groups: 3"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("image: PE32+ (x64)"), std::string::npos) << inspect.out;

  // The x86 launcher, what ships, is packed alike and said to be one.
  testing_files::WriteAll(Path("Uninst.exe"), testpe::Launcher(0x10B));
  ASSERT_EQ(Build(ChineseManifest()).exitCode, 0);
  EXPECT_NE(Pack("inspect " + Path("out.exe")).out.find("image: PE32 (x86)"), std::string::npos);
}

TEST_F(UninstPackTest, BadManifestsAreClearErrorsAndWriteNothing) {
  struct Case {
    const char* what;
    std::function<void(Json&)> spoil;
    const char* message;
  };
  const Case cases[] = {
      {"text GBK cannot hold", [](Json& m) { m["groups"][0]["files"][1] = "C:\\😀.dll"; }, "groups[0].files[1]"},
      {"missing field", [](Json& m) { m.erase("installDir"); }, "missing field \"installDir\""},
      {"mistyped field", [](Json& m) { m["finalFile"] = 5; }, "finalFile: must be a string"},
      {"mistyped files", [](Json& m) { m["groups"][1]["files"] = "x"; }, "groups[1].files: must be an array"},
      {"mistyped entry", [](Json& m) { m["groups"][0]["files"][0] = nullptr; }, "groups[0].files[0]"},
      {"group not an object", [](Json& m) { m["groups"][2] = 1; }, "groups[2]: must be an object"},
      {"no files at all", [](Json& m) { m["groups"] = Json::array(); }, "no files"},
      // The remover's current folder is the temporary folder: a relative entry would name a file there.
      {"relative file", [](Json& m) { m["groups"][0]["files"][1] = "x.dll"; }, "groups[0].files[1]: is not a full"},
      {"drive-relative file", [](Json& m) { m["groups"][0]["files"][1] = "C:x.dll"; }, "groups[0].files[1]: is not"},
      {"rooted, no drive", [](Json& m) { m["installDir"] = "\\Korvane"; }, "installDir: is not a full"},
      {"relative folder", [](Json& m) { m["groups"][1]["folder"] = "空"; }, "groups[1].folder: is not a full"},
      {"relative final file", [](Json& m) { m["finalFile"] = "Uninst.exe"; }, "finalFile: is not a full"},
      {"empty install folder", [](Json& m) { m["installDir"] = ""; }, "installDir: is not a full"},
      {"dot-dot in a folder", [](Json& m) { m["groups"][2]["folder"] = "C:\\Program Files\\..\\Windows"; },
       "groups[2].folder: has a '..' component"},
      {"dot-dot with slashes", [](Json& m) { m["groups"][0]["files"][0] = "C:/a/../../x"; }, "'..' component"},
      {"dot-dot at the end", [](Json& m) { m["installDir"] = "\\\\srv\\share\\.."; }, "installDir: has a '..'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json manifest = ChineseManifest();
    c.spoil(manifest);
    const ToolRun run = Build(manifest);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("out.exe")));
  }

  // Full paths in every form Windows takes: '/' separators, UNC, dots inside names.
  Json accepted = ChineseManifest();
  accepted["installDir"] = "C:/Program Files/Korvane 乗/";
  accepted["groups"][0]["files"][1] = "\\\\server\\share\\..x\\a..b.dll";
  accepted["groups"][1]["folder"] = "";
  accepted["finalFile"] = "";
  const ToolRun fine = Build(accepted);
  EXPECT_EQ(fine.exitCode, 0) << fine.err;
  std::filesystem::remove(Path("out.exe"));

  WriteAll(Path("manifest.json"), "{\"programFolderName\": ");
  const ToolRun broken = Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("manifest.json") +
                          " --output " + Path("out.exe"));
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find("not valid JSON"), std::string::npos) << broken.err;
  EXPECT_FALSE(std::filesystem::exists(Path("out.exe")));
}

TEST_F(UninstPackTest, RefusesToPackTwiceOrOverwriteItsInputs) {
  ASSERT_EQ(Build(ChineseManifest()).exitCode, 0);
  const std::string packed = ReadAll(Path("out.exe"));

  const ToolRun twice = Pack("build --launcher " + Path("out.exe") + " --manifest " + Path("manifest.json") +
                         " --output " + Path("twice.exe"));
  EXPECT_EQ(twice.exitCode, 1);
  EXPECT_NE(twice.err.find("already carries a payload"), std::string::npos) << twice.err;
  EXPECT_FALSE(std::filesystem::exists(Path("twice.exe")));

  const ToolRun self = Pack("build --launcher " + Path("out.exe") + " --manifest " + Path("manifest.json") +
                        " --output " + dir_.string() + "/./out.exe");
  EXPECT_EQ(self.exitCode, 1);
  EXPECT_NE(self.err.find("must not be the launcher"), std::string::npos) << self.err;
  EXPECT_EQ(ReadAll(Path("out.exe")), packed);

  const ToolRun overManifest = Pack("build --launcher " + Path("Uninst.exe") + " --manifest " + Path("manifest.json") +
                                " --output " + Path("manifest.json"));
  EXPECT_EQ(overManifest.exitCode, 1);
  EXPECT_EQ(Json::parse(ReadAll(Path("manifest.json"))), ChineseManifest());

  const ToolRun missing = Pack("build --launcher " + Path("nope.exe") + " --manifest " + Path("manifest.json") +
                           " --output " + Path("x.exe"));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot open launcher"), std::string::npos) << missing.err;
}

TEST_F(UninstPackTest, InspectReportsWhereAPayloadIsBroken) {
  // A launcher as built: said in words, without the garbage numbers its last bytes would make.
  const ToolRun plain = Pack("inspect " + Path("Uninst.exe"));
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_NE(plain.err.find("Uninst.exe carries no payload: no valid payload trailer at offset " +
                           std::to_string(launcherImage_.size() - 16)),
            std::string::npos)
      << plain.err;
  EXPECT_EQ(plain.err.find("blockSize"), std::string::npos) << plain.err;
  EXPECT_TRUE(plain.out.empty());

  // A valid trailer in front of a string whose declared length runs past the end of the file.
  const auto trailer = payload::PayloadTrailer::ForImage(static_cast<std::uint32_t>(launcherImage_.size()), 1).Encode();
  WriteAll(Path("cut.exe"), launcherImage_ + "\xFF\xFF\xFF\xF0\xFF\xFF\x7F" + std::string(trailer.begin(), trailer.end()));
  const ToolRun cut = Pack("inspect --json " + Path("cut.exe"));
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_NE(cut.err.find("damaged record archive at offset " + std::to_string(launcherImage_.size())), std::string::npos)
      << cut.err;
  EXPECT_TRUE(cut.out.empty());

  WriteAll(Path("tiny.exe"), "MZ");
  EXPECT_EQ(Pack("inspect " + Path("tiny.exe")).exitCode, 1);
}

// Vendors sign after packing: a signed launcher is refused for packing, a signed packed file is
// inspected through its signature, and a security directory that does not fit is named.
TEST_F(UninstPackTest, SignedFilesArePackedNeverAndInspectedThroughTheSignature) {
  const std::string pe = testpe::Launcher();
  WriteAll(Path("Uninst.exe"), testsigning::Signed(pe));
  const ToolRun signedLauncher = Build(ChineseManifest());
  EXPECT_EQ(signedLauncher.exitCode, 1);
  EXPECT_NE(signedLauncher.err.find("is signed (certificate table at offset " + std::to_string(pe.size())),
            std::string::npos)
      << signedLauncher.err;
  EXPECT_NE(signedLauncher.err.find("then sign the packed file"), std::string::npos) << signedLauncher.err;
  EXPECT_FALSE(std::filesystem::exists(Path("out.exe")));

  std::string outside = pe;
  testsigning::SetSecurityDirectory(outside, static_cast<std::uint32_t>(pe.size()), 64);
  WriteAll(Path("Uninst.exe"), outside);
  const ToolRun outsideLauncher = Build(ChineseManifest());
  EXPECT_EQ(outsideLauncher.exitCode, 1);
  EXPECT_NE(outsideLauncher.err.find("points outside the file"), std::string::npos) << outsideLauncher.err;
  EXPECT_FALSE(std::filesystem::exists(Path("out.exe")));

  WriteAll(Path("Uninst.exe"), pe);
  ASSERT_EQ(Build(ChineseManifest()).exitCode, 0);
  const std::string packed = ReadAll(Path("out.exe"));
  WriteAll(Path("signed.exe"), testsigning::Signed(packed));
  const ToolRun json = Pack("inspect --json " + Path("signed.exe"));
  ASSERT_EQ(json.exitCode, 0) << json.err;
  Json shown = Json::parse(json.out);
  const std::size_t padding = (8 - packed.size() % 8) % 8;
  EXPECT_EQ(shown["signature"]["certificateTableOffset"], packed.size() + padding);
  EXPECT_EQ(shown["signature"]["padding"], padding);
  EXPECT_EQ(shown["trailer"]["recordsOffset"], pe.size());
  shown.erase("trailer");
  shown.erase("signature");
  shown.erase("image");
  EXPECT_EQ(shown, ChineseManifest());
  const ToolRun readable = Pack("inspect " + Path("signed.exe"));
  ASSERT_EQ(readable.exitCode, 0) << readable.err;
  EXPECT_NE(readable.out.find("signed: certificate table at offset " + std::to_string(packed.size() + padding)),
            std::string::npos)
      << readable.out;
  EXPECT_NE(readable.out.find("简历.lvf"), std::string::npos) << readable.out;

  // Signed, then packed by another tool: the payload lies outside the signature.
  const std::string signedImage = testsigning::Signed(pe);
  const auto trailer = payload::PayloadTrailer::ForImage(static_cast<std::uint32_t>(signedImage.size()), 3).Encode();
  const std::string appended = signedImage + packed.substr(pe.size(), packed.size() - pe.size() - 16) +
                               std::string(trailer.begin(), trailer.end());
  WriteAll(Path("appended.exe"), appended);
  const ToolRun imageOnly = Pack("inspect " + Path("appended.exe"));
  EXPECT_EQ(imageOnly.exitCode, 1);
  EXPECT_NE(imageOnly.err.find("lies in front of the payload"), std::string::npos) << imageOnly.err;

  // A directory pointing past the end, and one reaching into the records.
  for (const auto& [offset, size, says] :
       {std::tuple<std::uint32_t, std::uint32_t, const char*>{static_cast<std::uint32_t>(packed.size()), 8,
                                                              "points outside the file"},
        {8, static_cast<std::uint32_t>(pe.size()), "overlaps the payload"}}) {
    std::string broken = packed;
    testsigning::SetSecurityDirectory(broken, offset, size);
    WriteAll(Path("broken.exe"), broken);
    const ToolRun run = Pack("inspect --json " + Path("broken.exe"));
    EXPECT_EQ(run.exitCode, 1) << says;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
}

TEST_F(UninstPackTest, CommandLineErrorsAndHelp) {
  const ToolRun help = Pack("--help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"manifest", "build", "inspect", "plan"})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  const ToolRun version = Pack("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("uninst-pack [0-9]+(\\.[0-9]+)+\n"))) << version.out;
  EXPECT_NE(Pack("").exitCode, 0);
  EXPECT_NE(Pack("build --launcher x").exitCode, 0);
  EXPECT_NE(Pack("frobnicate").exitCode, 0);

  // Unknown flags and values are named, with or without a subcommand in front of them.
  const std::pair<const char*, const char*> cases[] = {
      {"--frob", "--frob"},
      {"build --launcher a --manifest b --output c --stirct", "--stirct"},
      {"inspect --jsn x", "--jsn"},
      {"plan --answer maybe x", "maybe"},
  };
  for (const auto& [args, named] : cases) {
    const ToolRun run = Pack(args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_NE(run.err.find(named), std::string::npos) << args << ": " << run.err;
  }
}

}  // namespace
