// The real launcher (Uninst.exe built with a stand-in remover that records its start), started
// as a user starts it, in the Wine prefix.
#include "PayloadFiles.h"
#include "Signing.h"
#include "TestPaths.h"
#include "Trailer.h"
#include "WinScratch.h"
#include "WinUi.h"

namespace {

using testpaths::ReadBytes;
using winscratch::Exists;
using winscratch::WriteFileBytes;

const std::wstring kDialogTitle = L"Korvane 卸载软件";
const std::wstring kFailureText = L"Korvane 系统卸载失败!";

class LauncherTest : public winscratch::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    staged_ = testpaths::TempFolder() + "~uninst.exe";
    if (!Planted()) RemoveStaged();
    log_ = Path("stub.log");
    SetEnvironmentVariableA("KORVANE_STUB_LOG", log_.c_str());
    records_ = {{"Korvane", "C:\\Korvane\\", "C:\\Korvane\\Uninst.exe"},
                {{"C:\\Korvane\\\xC4\xA3\xB0\xE5", {"C:\\Korvane\\\xC4\xA3\xB0\xE5\\a.lvf", "C:\\Korvane\\b.dll"}},
                 {"C:\\Korvane", {}}}};
  }
  void TearDown() override {
    RemoveStaged();
    ScratchDir::TearDown();
  }
  // The planted-link test runs alone, right after a fixture put its link in place.
  static bool Planted() {
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).find("Planted") !=
           std::string::npos;
  }
  void RemoveStaged() {
    SetFileAttributesA(staged_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(staged_.c_str());
    RemoveDirectoryA(staged_.c_str());
  }

  // A copy of a launcher build as scratch\Uninst.exe, with the test payload appended or not.
  std::string Launcher(const char* build, bool withPayload, std::uint32_t fileTotal = 0) {
    const std::string image = ReadBytes(testpaths::BinaryDir() + "\\" + build);
    EXPECT_FALSE(image.empty());
    const std::string path = Path("Uninst.exe");
    if (withPayload)
      testpayload::Write(path, records_, fileTotal, image);
    else
      WriteFileBytes(path, image);
    return path;
  }

  // What "~uninst.exe" must hold: the stand-in image, the records narrow, a fresh trailer.
  std::string ExpectedStaged(std::uint32_t fileTotal) {
    const std::string image = ReadBytes(testpaths::BinaryDir() + "\\..\\..\\bin\\stub_remover.exe");
    testpayload::Write(Path("expected.bin"), records_, fileTotal, image);
    return ReadBytes(Path("expected.bin"));
  }

  // Runs the launcher and expects it to quit with no window, having started the stand-in.
  void ExpectStartsTheRemover(const std::string& launcher) {
    winui::Process process;
    ASSERT_TRUE(winui::Start(launcher, process, dir_));
    ASSERT_TRUE(process.Exited(20000)) << "the launcher stays";
    EXPECT_EQ(winui::FindTopWindow(kDialogTitle), nullptr);
    ASSERT_TRUE(winui::WaitFor([&] { return ReadBytes(log_).find('\n', 8) != std::string::npos; }))
        << "the staged remover was not started";
  }

  // Expects the failure dialog of `process`, then closes it with the close box.
  void ExpectFailureDialog(winui::Process& process, const char* screenshot = nullptr) {
    HWND dialog = winui::WaitForWindow(kDialogTitle, process.id);
    ASSERT_NE(dialog, nullptr) << "no failure dialog";
    EXPECT_EQ(winui::ChildTexts(dialog), kFailureText);
    if (screenshot) winui::SaveScreenshot(testpaths::ScreenshotPath(screenshot));
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(process.Exited(10000)) << "closing the failure dialog ends the launcher";
  }

  // Starts `launcher` and expects the failure dialog, with nothing staged and nothing started.
  void ExpectRefused(const std::string& launcher) {
    winui::Process process;
    ASSERT_TRUE(winui::Start(launcher, process));
    ExpectFailureDialog(process);
    EXPECT_FALSE(Exists(staged_));
    EXPECT_FALSE(Exists(log_));
  }

  std::string staged_, log_;
  payload::RemovalRecords records_;
};

TEST_F(LauncherTest, WithoutPayloadShowsTheFailureDialogAndStagesNothing) {
  winui::Process process;
  ASSERT_TRUE(winui::Start(Launcher("Uninst_stub.exe", false), process));
  ExpectFailureDialog(process, "launcher-failure");
  EXPECT_FALSE(Exists(staged_));
  EXPECT_FALSE(Exists(log_));
}

TEST_F(LauncherTest, StagesImageRecordsAndTrailerExactlyAndStartsItInTheTempFolder) {
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true, 9));
  EXPECT_EQ(ReadBytes(staged_), ExpectedStaged(9)) << "fileTotal is carried over";
  const std::string log = ReadBytes(log_);
  std::string temp = testpaths::TempFolder();
  temp.pop_back();
  EXPECT_NE(log.find("\n" + staged_ + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\n" + temp), std::string::npos) << "the remover's current folder: " << log;
  EXPECT_TRUE(Exists(staged_)) << "the staged file stays";
}

// A temporary folder whose name has no form in the ANSI code page, nor in GBK (a profile named
// in Korean, say): the launcher stages and starts the remover there all the same.
TEST_F(LauncherTest, StagesIntoATemporaryFolderOutsideTheAnsiCodePage) {
  const std::wstring temp = winscratch::W(dir_) + L"\\\uD55C\uAD6D\U0001F600";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  wchar_t savedTmp[MAX_PATH] = {}, savedTemp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
  GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  SetEnvironmentVariableW(L"TEMP", temp.c_str());
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  SetEnvironmentVariableW(L"TMP", savedTmp);
  SetEnvironmentVariableW(L"TEMP", savedTemp);

  const std::wstring staged = temp + L"\\~uninst.exe";
  fw::File file;
  ASSERT_TRUE(file.Open(staged, fw::File::Mode::Read)) << "nothing staged in the temporary folder";
  const auto trailer = payload::ReadTrailer(file);
  EXPECT_TRUE(trailer && trailer->IsValid());
  file.Close();
  DeleteFileW(staged.c_str());
  RemoveDirectoryW(temp.c_str());
}

// Signed after packing, the launcher finds its payload in front of the certificate table and
// stages exactly what the unsigned launcher stages. Signed before packing, the payload lies
// outside the signature: it is refused, and nothing is staged.
TEST_F(LauncherTest, ASignedLauncherStagesWhatTheUnsignedOneStagesAndAPayloadOutsideItNothing) {
  const std::string packed = ReadBytes(Launcher("Uninst_stub.exe", true, 7));
  WriteFileBytes(Path("Uninst.exe"), testsigning::Signed(packed));
  ExpectStartsTheRemover(Path("Uninst.exe"));
  EXPECT_EQ(ReadBytes(staged_), ExpectedStaged(7));

  RemoveStaged();
  DeleteFileA(log_.c_str());
  const std::string signedImage = testsigning::Signed(ReadBytes(testpaths::BinaryDir() + "\\Uninst_stub.exe"));
  testpayload::Write(Path("Uninst.exe"), records_, 0, signedImage);
  ExpectRefused(Path("Uninst.exe"));
}

TEST_F(LauncherTest, ReplacesAnExistingStagedFile) {
  WriteFileBytes(staged_, std::string(300000, 'g'));
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  EXPECT_EQ(ReadBytes(staged_), ExpectedStaged(2));
}

// "~uninst.exe" planted as a link to someone else's file (made from the Linux side by the link
// fixture; Wine shows such a file link as a plain file, so only the way the file is written
// keeps the target safe).
TEST_F(LauncherTest, APlantedLinkIsNotWrittenThrough) {
  const std::string victim = "C:\\korvane-links\\victim.txt";
  // A check whose fixture is missing has not passed.
  ASSERT_EQ(ReadBytes(staged_), "not the product's\n") << "run through the planted-link fixture";
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  EXPECT_EQ(ReadBytes(victim), "not the product's\n");
  EXPECT_EQ(ReadBytes(staged_), ExpectedStaged(2));
}

TEST_F(LauncherTest, AFolderOfTheStagedNameIsAFailure) {
  ASSERT_TRUE(CreateDirectoryA(staged_.c_str(), nullptr));
  winui::Process process;
  ASSERT_TRUE(winui::Start(Launcher("Uninst_stub.exe", true), process));
  ExpectFailureDialog(process);
  EXPECT_FALSE(Exists(log_));
}

TEST_F(LauncherTest, AStagedFileHeldByARunningRemoverMeansQuitQuietly) {
  WriteFileBytes(staged_, "running remover");
  HANDLE held = CreateFileA(staged_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  winui::Process process;
  ASSERT_TRUE(winui::Start(Launcher("Uninst_stub.exe", true), process));
  EXPECT_TRUE(process.Exited(20000));
  EXPECT_EQ(winui::FindTopWindow(kDialogTitle), nullptr);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(staged_), "running remover");
  EXPECT_FALSE(Exists(log_));
}

TEST_F(LauncherTest, ADamagedArchiveLeavesNoStagedFile) {
  // A valid trailer over a record archive whose second string runs past the end of the file.
  const std::string image = ReadBytes(testpaths::BinaryDir() + "\\Uninst_stub.exe");
  const auto trailer = payload::PayloadTrailer::ForImage(static_cast<std::uint32_t>(image.size()), 1).Encode();
  WriteFileBytes(Path("Uninst.exe"),
                 image + "\x01Q\xFF\xFF\xFF\xF0\xFF\xFF\x7F" + std::string(trailer.begin(), trailer.end()));
  ExpectRefused(Path("Uninst.exe"));
}

TEST_F(LauncherTest, AMissingRemoverResourceIsReportedThenTheFailureDialogStays) {
  winui::Process process;
  ASSERT_TRUE(winui::Start(Launcher("Uninst_noresource.exe", true), process));
  HWND box = winui::WaitForWindow(L"Uninst", process.id);
  ASSERT_NE(box, nullptr) << "no message box captioned with the launcher's name";
  EXPECT_NE(winui::ChildTexts(box).find(L"系统资源缺失，请重新安装!"), std::wstring::npos) << winui::ChildTexts(box);
  // An icon is shown (which one AppMessageBox adds is checked in the framework tests; the
  // screenshot shows the exclamation mark).
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
  winui::SaveScreenshot(testpaths::ScreenshotPath("launcher-missing-resource"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ExpectFailureDialog(process);
  EXPECT_FALSE(Exists(staged_)) << "nothing is staged without an image";
}

}  // namespace
