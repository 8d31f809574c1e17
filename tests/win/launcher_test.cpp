// The real launcher (Uninst.exe built with a stand-in remover that records its start), started
// as a user starts it, in the Wine prefix, while other programs act on the files it uses.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "PayloadFiles.h"
#include "Signing.h"
#include "StubRemover.h"
#include "TestPaths.h"
#include "Trailer.h"
#include "UnixSide.h"
#include "WinScratch.h"
#include "WinUi.h"

namespace {

using testpaths::ReadBytes;
using winscratch::Exists;
using winscratch::WriteFileBytes;

const std::wstring kDialogTitle = L"Korvane 卸载软件";
const std::wstring kFailureText = L"Korvane 系统卸载失败!";

std::string WindowsFolder() {
  char path[MAX_PATH];
  const UINT n = GetSystemWindowsDirectoryA(path, MAX_PATH);
  return std::string(path, n);
}

// A staging folder's full path as the launcher names them: "~uninst.korvane.", a session's number,
// a dot and 16 hexadecimal digits, in the Windows folder. This session's by default.
std::string StagingFolder(const std::string& digits, DWORD session = static_cast<DWORD>(-1)) {
  if (session == static_cast<DWORD>(-1)) ProcessIdToSessionId(GetCurrentProcessId(), &session);
  return WindowsFolder() + "\\~uninst.korvane." + std::to_string(session) + "." + digits;
}

// The folders the launcher stages the remover in, as full paths.
std::vector<std::string> StagingFolders() {
  std::vector<std::string> found;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((WindowsFolder() + "\\~uninst.korvane.*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.push_back(WindowsFolder() + "\\" + data.cFileName);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

// True under Wine, which keeps no security descriptor for a file (see the test of the staged
// file's).
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  const std::string result = text;
  LocalFree(text);
  return result;
}

// The user of this process's token.
std::string TokenUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "?";
  char buffer[256];
  DWORD size = 0;
  const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  return read ? SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) : "?";
}

// Starts `exe` suspended in folder `cwd`; the caller resumes `thread` and closes it.
bool StartSuspended(const std::string& exe, const std::string& cwd, winui::Process& process, HANDLE& thread) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string commandLine = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, cwd.c_str(),
                      &startup, &started))
    return false;
  process.handle = started.hProcess;
  process.id = started.dwProcessId;
  thread = started.hThread;
  return true;
}

// While it lives, the stand-in removers started stay, as the remover does while it waits for the
// user: each holds its staged file and shows a window. They are closed at the end, and Close()
// closes those started so far.
class StayingRemovers {
 public:
  StayingRemovers() { SetEnvironmentVariableA("KORVANE_STUB_STAY", "1"); }
  ~StayingRemovers() {
    Close();
    SetEnvironmentVariableA("KORVANE_STUB_STAY", nullptr);
  }
  static void Close() {
    for (int closed = 0; closed < 50; ++closed) {
      HWND window = FindWindowW(kStubWindowClass, nullptr);
      if (!window) return;
      DWORD id = 0;
      GetWindowThreadProcessId(window, &id);
      HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
      PostMessageW(window, WM_CLOSE, 0, 0);
      if (process) {
        WaitForSingleObject(process, static_cast<DWORD>(winui::Scaled(5000)));
        CloseHandle(process);
      }
    }
  }
};

// Sets TEMP and TMP for the programs this test starts, and puts them back afterwards.
class TempVariables {
 public:
  explicit TempVariables(const std::wstring& folder) {
    GetEnvironmentVariableW(L"TMP", tmp_, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", temp_, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
  }
  ~TempVariables() {
    SetEnvironmentVariableW(L"TMP", tmp_);
    SetEnvironmentVariableW(L"TEMP", temp_);
  }

 private:
  wchar_t tmp_[MAX_PATH] = {}, temp_[MAX_PATH] = {};
};

class LauncherTest : public winscratch::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    oldStaged_ = testpaths::TempFolder() + "~uninst.exe";
    if (!Planted()) RemoveOldStaged();
    for (const std::string& folder : StagingFolders()) winscratch::RemoveTree(folder);
    log_ = Path("stub.log");
    SetEnvironmentVariableA("KORVANE_STUB_LOG", log_.c_str());
    records_ = {{"Korvane", "C:\\Korvane\\", "C:\\Korvane\\Uninst.exe"},
                {{"C:\\Korvane\\\xC4\xA3\xB0\xE5", {"C:\\Korvane\\\xC4\xA3\xB0\xE5\\a.lvf", "C:\\Korvane\\b.dll"}},
                 {"C:\\Korvane", {}}}};
  }
  void TearDown() override {
    RemoveOldStaged();
    ScratchDir::TearDown();
  }
  // The planted-link test runs alone, right after a fixture put its link in place.
  static bool Planted() {
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).find("Planted") !=
           std::string::npos;
  }
  // "~uninst.exe" in the temporary folder, where earlier launchers staged the remover: removed
  // from the Linux side, which removes a link itself (Wine's DeleteFile would reach its target).
  void RemoveOldStaged() { RemoveOnTheLinuxSide(winscratch::W(oldStaged_)); }
  static void RemoveOnTheLinuxSide(const std::wstring& path) {
    unixside::Run("rm -rf " + unixside::Quoted(unixside::UnixPath(path)));
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

  // The file the stand-in was started from when that is "~uninst.exe" in a staging folder, else "".
  std::string Staged() const {
    const std::string started = StartedFile();
    for (const std::string& folder : StagingFolders())
      if (started == folder + "\\~uninst.exe") return started;
    return "";
  }

  // What the stand-in wrote when it started: its own file, its current folder and, at that
  // moment, its launcher's.
  std::string StartedFile() const { return LogLine(1); }
  std::string StartedIn() const { return LogLine(2); }
  std::string LauncherIn() const { return LogLine(3); }
  // How many stand-ins have written their record.
  std::size_t Starts() const {
    const std::string log = ReadBytes(log_);
    std::size_t starts = 0;
    for (std::size_t at = 0; (at = log.find("started\n", at)) != std::string::npos; at += 8) ++starts;
    return starts;
  }
  std::string LogLine(int index) const {
    std::string log = ReadBytes(log_);
    for (; index > 0; --index) log.erase(0, log.find('\n') + 1);
    return log.substr(0, log.find('\n'));
  }

  // Runs the launcher and expects it to quit with no window, having started the stand-in from
  // the one staging folder.
  void ExpectStartsTheRemover(const std::string& launcher) {
    winui::Process process;
    ASSERT_TRUE(winui::Start(launcher, process, dir_));
    ASSERT_TRUE(process.Exited(20000)) << "the launcher stays";
    EXPECT_EQ(winui::FindTopWindow(kDialogTitle), nullptr);
    ASSERT_TRUE(winui::WaitFor([&] {
      const std::string log = ReadBytes(log_);
      return std::count(log.begin(), log.end(), '\n') >= 4;
    })) << "the staged remover was not started";
    ASSERT_NE(Staged(), "") << "started from " << StartedFile() << ", not from a staging folder";
    const std::string folder = Staged().substr(0, Staged().rfind('\\'));
    EXPECT_EQ(StartedIn(), folder) << "the remover's current folder";
    EXPECT_EQ(LauncherIn(), folder) << "the launcher's current folder when its remover started";
  }

  // The failure dialog of `process` once it stays, or null when the launcher quits. (A launcher
  // that ends its dialog while the dialog initialises shows it for a moment before it quits.)
  static HWND FailureDialogOf(winui::Process& process) {
    HWND dialog = nullptr;
    winui::WaitFor([&] { return process.Exited(0) || (dialog = winui::FindTopWindow(kDialogTitle, process.id)); }, 20000);
    return dialog && !process.Exited(1000) ? dialog : nullptr;
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

  // Expects the failure dialog, with nothing staged and nothing started.
  void ExpectRefused(winui::Process& process) {
    ExpectFailureDialog(process);
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_FALSE(Exists(log_));
  }
  void ExpectRefused(const std::string& launcher) {
    winui::Process process;
    ASSERT_TRUE(winui::Start(launcher, process));
    ExpectRefused(process);
  }

  std::string oldStaged_, log_;
  payload::RemovalRecords records_;
};

TEST_F(LauncherTest, WithoutPayloadShowsTheFailureDialogAndStagesNothing) {
  winui::Process process;
  ASSERT_TRUE(winui::Start(Launcher("Uninst_stub.exe", false), process));
  ExpectFailureDialog(process, "launcher-failure");
  EXPECT_TRUE(StagingFolders().empty());
  EXPECT_FALSE(Exists(log_));
}

TEST_F(LauncherTest, StagesImageRecordsAndTrailerExactlyAndStartsItInAFolderOfItsOwn) {
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true, 9));
  EXPECT_EQ(ReadBytes(Staged()), ExpectedStaged(9)) << "fileTotal is carried over";
  EXPECT_FALSE(Exists(oldStaged_)) << "nothing in the temporary folder";
}

// Each start stages into a new folder and removes those of earlier starts whose remover has
// ended, so one staged remover stays, not one per start. A folder of that name holding anything
// else keeps it, and so does anything else of a similar name.
TEST_F(LauncherTest, EachStartClearsTheEarlierStartsSoOneStagedRemoverStays) {
  const std::string earlier = StagingFolder("0123456789abcdef");
  const std::string other = StagingFolder("fedcba9876543210");
  ASSERT_TRUE(CreateDirectoryA(earlier.c_str(), nullptr));
  WriteFileBytes(earlier + "\\~uninst.exe", "an earlier remover");
  ASSERT_TRUE(CreateDirectoryA(other.c_str(), nullptr));
  WriteFileBytes(other + "\\~uninst.exe", "an earlier remover");
  WriteFileBytes(other + "\\notes.txt", "not the launcher's");
  const std::string file = WindowsFolder() + "\\~uninst.korvane.file";
  WriteFileBytes(file, "not the launcher's");

  std::vector<std::string> started;
  for (int run = 0; run < 3; ++run) {
    DeleteFileA(log_.c_str());
    ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
    started.push_back(StartedFile());
    const auto folders = StagingFolders();
    EXPECT_EQ(folders.size(), 2u) << "this start's folder and the one holding another file";
  }
  EXPECT_NE(started[0], started[1]);
  EXPECT_NE(started[1], started[2]);
  EXPECT_FALSE(Exists(earlier));
  EXPECT_EQ(ReadBytes(other + "\\notes.txt"), "not the launcher's");
  EXPECT_EQ(ReadBytes(file), "not the launcher's");
  winscratch::RemoveTree(other);
  DeleteFileA(file.c_str());
}

// The temporary folder decides nothing: pointed at a folder whose name has no form in the ANSI
// code page, holding a folder under the name "~uninst.exe", or at one holding a link to a folder
// under that name, it stays as it was and the remover starts from its staging folder.
TEST_F(LauncherTest, WhatTheTemporaryFolderHoldsDecidesNothing) {
  const auto expectUntouched = [&](const std::wstring& temp) {
    const TempVariables variables(temp);
    DeleteFileA(log_.c_str());
    ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((temp + L"\\*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::wstring names;
    do names += std::wstring(data.cFileName) + L"|";
    while (FindNextFileW(search, &data));
    FindClose(search);
    EXPECT_EQ(names, L".|..|~uninst.exe|") << "nothing written in the temporary folder";
  };
  const std::wstring wide = winscratch::W(dir_) + L"\\\uD55C\uAD6D\U0001F600";
  ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((wide + L"\\~uninst.exe").c_str(), nullptr));
  expectUntouched(wide);
  RemoveDirectoryW((wide + L"\\~uninst.exe").c_str());
  RemoveDirectoryW(wide.c_str());

  // A link to a folder, made from the Linux side.
  for (const char* folder : {"temp", "target"}) ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr));
  ASSERT_TRUE(unixside::Run("ln -s " + unixside::Quoted(unixside::UnixPath(winscratch::W(Path("target")))) + " " +
                            unixside::Quoted(unixside::UnixPath(winscratch::W(Path("temp\\~uninst.exe"))))));
  expectUntouched(winscratch::W(Path("temp")));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(Path("target\\*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FindNextFileA(search, &data) && !FindNextFileA(search, &data)) << "the link's target stays empty";
  FindClose(search);
  RemoveOnTheLinuxSide(winscratch::W(Path("temp\\~uninst.exe")));
}

// TEMP names a folder through a link whose owner retargets it the moment a file named
// "~uninst.exe" is opened behind it, to a folder holding a program of the owner's under that name
// (on Windows a junction, which its owner may retarget at any time). The program started is the
// staged remover.
TEST_F(LauncherTest, ATemporaryFolderRetargetedAtTheWorstMomentStartsNothingElse) {
  for (const char* folder : {"A", "B"}) ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr));
  const std::string stub = ReadBytes(testpaths::BinaryDir() + "\\..\\..\\bin\\stub_remover.exe");
  WriteFileBytes(Path("B\\~uninst.exe"), stub);
  const auto unix = [&](const char* name) { return unixside::Quoted(unixside::UnixPath(winscratch::W(Path(name)))); };
  // The watcher reports itself ready on standard error before the launcher starts.
  const std::string ready = unixside::UnixPath(winscratch::W(Path("watching")));
  ASSERT_TRUE(unixside::Run("ln -s " + unix("A") + " " + unix("templink") + " && (timeout 60 inotifywait -m -e open --format %f " +
                            unix("A") + " 2>" + unixside::Quoted(ready) + " | while read -r f; do [ \"$f\" = '~uninst.exe' ] && ln -sfn " +
                            unix("B") + " " + unix("templink") + "; done) >/dev/null 2>&1 &"));
  ASSERT_TRUE(winui::WaitFor([&] { return ReadBytes(Path("watching")).find("established") != std::string::npos; }))
      << "the watcher did not start";
  {
    const TempVariables variables(winscratch::W(Path("templink")));
    ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  }
  Sleep(winui::Scaled(500));  // anything started by the other name would have logged by now
  EXPECT_NE(Staged(), "") << "started: " << StartedFile();
  unixside::Run("pkill -f '[i]notifywait -m -e open --format %f .*korvane-LauncherTest' || true");
  RemoveOnTheLinuxSide(winscratch::W(Path("templink")));
}

// Another program renames the launcher's file away right after the launcher started (Windows
// allows renaming a running program's file) and puts a launcher with another payload under its
// name. The launcher reads only its own image: the failure dialog, nothing staged.
TEST_F(LauncherTest, TheLaunchersFileSwappedAfterItsStartIsNotRead) {
  const std::string launcher = Launcher("Uninst_stub.exe", true);
  winui::Process process;
  HANDLE thread = nullptr;
  ASSERT_TRUE(StartSuspended(launcher, dir_, process, thread));
  const bool moved = MoveFileA(launcher.c_str(), Path("Uninst.old").c_str()) ||
                     unixside::Run("mv " + unixside::Quoted(unixside::UnixPath(winscratch::W(launcher))) + " " +
                                   unixside::Quoted(unixside::UnixPath(winscratch::W(Path("Uninst.old")))));
  records_.groups.push_back({"C:\\Windows\\System32", {"C:\\Windows\\System32\\korvane-victim.dll"}});
  Launcher("Uninst_stub.exe", true);
  ResumeThread(thread);
  CloseHandle(thread);
  ASSERT_TRUE(moved) << "the running launcher's file could not be renamed";
  ExpectRefused(process);
}

// Signed after packing, the launcher finds its payload in front of the certificate table and
// stages exactly what the unsigned launcher stages. Signed before packing, the payload lies
// outside the signature: it is refused, and nothing is staged.
TEST_F(LauncherTest, ASignedLauncherStagesWhatTheUnsignedOneStagesAndAPayloadOutsideItNothing) {
  const std::string packed = ReadBytes(Launcher("Uninst_stub.exe", true, 7));
  WriteFileBytes(Path("Uninst.exe"), testsigning::Signed(packed));
  ExpectStartsTheRemover(Path("Uninst.exe"));
  EXPECT_EQ(ReadBytes(Staged()), ExpectedStaged(7));

  for (const std::string& folder : StagingFolders()) winscratch::RemoveTree(folder);
  DeleteFileA(log_.c_str());
  const std::string signedImage = testsigning::Signed(ReadBytes(testpaths::BinaryDir() + "\\Uninst_stub.exe"));
  testpayload::Write(Path("Uninst.exe"), records_, 0, signedImage);
  ExpectRefused(Path("Uninst.exe"));
}

// "~uninst.exe" in the temporary folder planted as a link to someone else's file (made from the
// Linux side by the link fixture; Wine shows such a file link as a plain file): nothing is
// written through it, nor is it started.
TEST_F(LauncherTest, APlantedLinkIsNotWrittenThrough) {
  const std::string victim = "C:\\korvane-links\\victim.txt";
  // A check whose fixture is missing has not passed.
  ASSERT_EQ(ReadBytes(oldStaged_), "not the product's\n") << "run through the planted-link fixture";
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  EXPECT_EQ(ReadBytes(victim), "not the product's\n");
  EXPECT_EQ(ReadBytes(Staged()), ExpectedStaged(2));
}

// A remover from an earlier start of this session that still runs: the launcher quits quietly and
// starts nothing. It is told by its staged file, held (as the remover holds its own file) or
// mapped as a running program's image, or by its folder, the current folder of the remover and
// of a launcher whose start is under way. A remover of another session is no such sign, nor is a
// file held in the temporary folder under the old name (anyone may hold a file there).
TEST_F(LauncherTest, AnEarlierStartOfThisSessionStillUnderWayMeansQuitQuietly) {
  const auto expectQuiet = [&](const char* what) {
    SCOPED_TRACE(what);
    const auto before = StagingFolders();
    winui::Process process;
    ASSERT_TRUE(winui::Start(Launcher("Uninst_stub.exe", true), process));
    EXPECT_TRUE(process.Exited(20000));
    EXPECT_EQ(winui::FindTopWindow(kDialogTitle, process.id), nullptr);
    EXPECT_EQ(StagingFolders(), before) << "nothing staged, nothing cleared";
    EXPECT_FALSE(Exists(log_));
  };
  const std::string running = StagingFolder("0000000000000001");
  ASSERT_TRUE(CreateDirectoryA(running.c_str(), nullptr));
  const std::string staged = running + "\\~uninst.exe";

  WriteFileBytes(staged, "running remover");
  HANDLE held = CreateFileA(staged.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  expectQuiet("held");
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(staged), "running remover");

  // A program running from the staged file (the launcher without a payload: it stays on its
  // failure dialog), started in another folder and not holding its file.
  WriteFileBytes(staged, ReadBytes(testpaths::BinaryDir() + "\\Uninst_stub.exe"));
  winui::Process image;
  ASSERT_TRUE(winui::Start(staged, image, dir_));
  ASSERT_NE(winui::WaitForWindow(kDialogTitle, image.id), nullptr);
  expectQuiet("running image");
  TerminateProcess(image.handle, 0);
  image.Exited(5000);

  // A process whose current folder it is.
  winui::Process inside;
  ASSERT_TRUE(winui::Start(testpaths::BinaryDir() + "\\Uninst_stub.exe", inside, running));
  ASSERT_NE(winui::WaitForWindow(kDialogTitle, inside.id), nullptr);
  expectQuiet("current folder");
  TerminateProcess(inside.handle, 0);
  inside.Exited(5000);
  winscratch::RemoveTree(running);

  // Readers that share deletion (a scanner, an indexer) are no sign: the earlier start is over,
  // and its folder goes.
  const std::string read = StagingFolder("0000000000000003");
  ASSERT_TRUE(CreateDirectoryA(read.c_str(), nullptr));
  WriteFileBytes(read + "\\~uninst.exe", "an earlier remover");
  const DWORD everyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE readFolder = CreateFileA(read.c_str(), GENERIC_READ, everyone, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  HANDLE readFile = CreateFileA((read + "\\~uninst.exe").c_str(), GENERIC_READ, everyone, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(readFolder, INVALID_HANDLE_VALUE);
  ASSERT_NE(readFile, INVALID_HANDLE_VALUE);
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  CloseHandle(readFile);
  CloseHandle(readFolder);
  // Its file went when the readers let go; the folder, not empty until then, goes with the next
  // start.
  EXPECT_FALSE(Exists(read + "\\~uninst.exe")) << "the readers' earlier start was cleared";
  for (const std::string& folder : StagingFolders()) winscratch::RemoveTree(folder);
  DeleteFileA(log_.c_str());

  const std::string otherSession = StagingFolder("0000000000000002", 4242);
  ASSERT_TRUE(CreateDirectoryA(otherSession.c_str(), nullptr));
  WriteFileBytes(otherSession + "\\~uninst.exe", "another session's remover");
  HANDLE theirs = CreateFileA((otherSession + "\\~uninst.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  WriteFileBytes(oldStaged_, "held by anyone");
  HANDLE anyone = CreateFileA(oldStaged_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(anyone, INVALID_HANDLE_VALUE);
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  CloseHandle(anyone);
  CloseHandle(theirs);
  EXPECT_EQ(ReadBytes(oldStaged_), "held by anyone");
  EXPECT_EQ(ReadBytes(otherSession + "\\~uninst.exe"), "another session's remover");
  winscratch::RemoveTree(otherSession);
}

// A link in the Windows folder under a staging folder's name (made from the Linux side), to a
// folder holding a "~uninst.exe" of someone else's: neither is touched.
TEST_F(LauncherTest, ALinkUnderAStagingFoldersNameIsNeverFollowed) {
  ASSERT_TRUE(CreateDirectoryA(Path("elsewhere").c_str(), nullptr));
  WriteFileBytes(Path("elsewhere\\~uninst.exe"), "not the launcher's");
  const std::string link = StagingFolder("00000000000000aa");
  ASSERT_TRUE(unixside::Run("ln -s " + unixside::Quoted(unixside::UnixPath(winscratch::W(Path("elsewhere")))) + " " +
                            unixside::Quoted(unixside::UnixPath(winscratch::W(link)))));
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  EXPECT_EQ(ReadBytes(Path("elsewhere\\~uninst.exe")), "not the launcher's");
  EXPECT_TRUE(Exists(link));
  RemoveOnTheLinuxSide(winscratch::W(link));
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
  // The box belongs to the launcher's dialog, its main window, made but not yet shown; once the
  // box is closed that window shows the failure text.
  HWND owner = GetWindow(box, GW_OWNER);
  ASSERT_NE(owner, nullptr) << "the box has no owner";
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_EQ(winui::Text(owner), kDialogTitle);
  winui::SaveScreenshot(testpaths::ScreenshotPath("launcher-missing-resource"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(winui::WaitForWindow(kDialogTitle, process.id), owner) << "the failure dialog is the box's owner";
  ExpectFailureDialog(process);
  EXPECT_TRUE(StagingFolders().empty()) << "nothing is staged without an image";
}

// The staged file and its folder as the system reads their security back: owned by the
// Administrators group whatever the system's policy for what administrators make, a protected
// list of two entries, full control for SYSTEM and for Administrators, nothing for anyone else.
// Wine keeps no security descriptor for a file: it names the token's user as every file's owner
// and makes the list from the file's Unix mode, the owner's entry standing for the
// Administrators'. There the owner and the protection say nothing, and the list still shows
// whether anyone else was let in (a file made with the system's default lets Everyone read and
// run it).
TEST_F(LauncherTest, TheStagedFileAndItsFolderAdmitOnlyAdministratorsAndTheSystem) {
  ExpectStartsTheRemover(Launcher("Uninst_stub.exe", true));
  const std::string administrators = UnderWine() ? TokenUserSid() : "S-1-5-32-544";
  for (const std::string& path : {Staged(), Staged().substr(0, Staged().rfind('\\'))}) {
    SCOPED_TRACE(path);
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    &owner, nullptr, &list, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    if (!UnderWine()) {
      EXPECT_EQ(SidText(owner), administrators);
      EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited";
    }
    ASSERT_NE(list, nullptr) << "no access list: everyone is let in";
    std::vector<std::string> entries;
    for (DWORD i = 0; i < list->AceCount; ++i) {
      void* entry = nullptr;
      ASSERT_TRUE(GetAce(list, i, &entry));
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      entries.push_back(std::to_string(allowed->Header.AceType) + " " + std::to_string(allowed->Mask) + " " +
                        SidText(const_cast<DWORD*>(&allowed->SidStart)));
    }
    const std::string full = std::to_string(ACCESS_ALLOWED_ACE_TYPE) + " " + std::to_string(FILE_ALL_ACCESS) + " ";
    EXPECT_EQ(entries, (std::vector<std::string>{full + "S-1-5-18", full + administrators}));
    LocalFree(descriptor);
  }
}

// Another program that may open the staged file (on Windows only an administrator's: see the test
// above) writes to it the moment the launcher lets go of it after writing and before it opens it
// again to hold it, read-only with writers shut out. What it wrote never runs: the launcher finds
// the file's bytes are not the ones it wrote, and the failure dialog stays. Tried twenty times; a
// racer that never got in tried nothing.
TEST_F(LauncherTest, BytesWrittenToTheStagedFileBeforeItIsHeldNeverRun) {
  const StayingRemovers stay;  // each holds its file after the launcher: nobody writes to it then
  const std::string launcher = Launcher("Uninst_stub.exe", true);
  const std::string expected = ExpectedStaged(0);
  int gotIn = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    SCOPED_TRACE(attempt);
    std::atomic<bool> stop{false}, wrote{false};
    std::thread racer([&] {
      std::string file;
      while (!stop && file.empty())
        for (const std::string& folder : StagingFolders()) file = folder + "\\~uninst.exe";
      while (!stop) {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;  // not made yet, being written, or held
        DWORD written = 0;
        SetFilePointer(h, 0, nullptr, FILE_END);
        wrote = WriteFile(h, "racer", 5, &written, nullptr) && written == 5;
        CloseHandle(h);
        return;
      }
    });
    winui::Process process;
    ASSERT_TRUE(winui::Start(launcher, process, dir_));
    HWND failure = FailureDialogOf(process);
    stop = true;
    racer.join();
    if (wrote) {
      ++gotIn;
      EXPECT_NE(failure, nullptr) << "the racer's bytes were started";
      EXPECT_EQ(Starts(), 0u);
      if (failure) PostMessageW(failure, WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_TRUE(process.Exited(10000));
    } else {
      ASSERT_TRUE(process.Exited(0)) << "a failure without a racer";
      ASSERT_TRUE(winui::WaitFor([&] { return Starts() == 1; }));
      EXPECT_EQ(ReadBytes(Staged()), expected);
    }
    StayingRemovers::Close();
    for (const std::string& folder : StagingFolders()) winscratch::RemoveTree(folder);
    DeleteFileA(log_.c_str());
  }
  std::printf("the racer got in %d times of 20; each was refused\n", gotIn);
  EXPECT_GT(gotIn, 0) << "the racer never got between the write and the hold: nothing was tried";
}

// A link to somebody else's file put at the staged name (from the Linux side, as another account
// would) while the launcher is stopped the moment its folder appears: the start fails, and its
// clean-up, which removes the staged file as the entry of the folder it holds and never by name,
// leaves the link's target as it was. Tried until a start failed, at most ten times (a launcher
// stopped only after it started its remover has nothing to clean up).
TEST_F(LauncherTest, AFailedStartsCleanUpLeavesALinksTargetAtTheStagedName) {
  const std::string launcher = Launcher("Uninst_stub.exe", true);
  const std::string victim = Path("victim.txt");
  int attempts = 0, failed = 0;
  for (; attempts < 10 && failed == 0; ++attempts) {
    SCOPED_TRACE(attempts);
    WriteFileBytes(victim, "not the product's");
    // The Windows folder's new folders, reported as they are made.
    HANDLE windows = CreateFileA(WindowsFolder().c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(windows, INVALID_HANDLE_VALUE);
    OVERLAPPED made{};
    made.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    alignas(DWORD) char changes[4096];
    ASSERT_TRUE(ReadDirectoryChangesW(windows, changes, sizeof changes, FALSE, FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                      &made, nullptr));
    winui::Process process;
    HANDLE thread = nullptr;
    ASSERT_TRUE(StartSuspended(launcher, dir_, process, thread));
    ResumeThread(thread);
    const bool appeared = WaitForSingleObject(made.hEvent, static_cast<DWORD>(winui::Scaled(20000))) == WAIT_OBJECT_0;
    SuspendThread(thread);
    CloseHandle(made.hEvent);
    CloseHandle(windows);
    ASSERT_TRUE(appeared) << "no staging folder was made";
    const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(changes);
    const std::wstring folder = winscratch::W(WindowsFolder()) + L"\\" +
                                std::wstring(change->FileName, change->FileNameLength / sizeof(wchar_t));
    const std::string staged = unixside::UnixPath(folder + L"\\~uninst.exe");
    ASSERT_TRUE(unixside::Run("rm -f " + unixside::Quoted(staged) + " && ln -s " +
                              unixside::Quoted(unixside::UnixPath(winscratch::W(victim))) + " " + unixside::Quoted(staged)));
    ResumeThread(thread);
    CloseHandle(thread);
    if (HWND failure = FailureDialogOf(process)) {
      ++failed;
      EXPECT_EQ(Starts(), 0u);
      PostMessageW(failure, WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_TRUE(process.Exited(10000));
    }
    EXPECT_EQ(ReadBytes(victim), "not the product's") << "the link's target was reached";
    for (const std::string& left : StagingFolders()) RemoveOnTheLinuxSide(winscratch::W(left));
    DeleteFileA(log_.c_str());
  }
  std::printf("the first failed start came at attempt %d\n", attempts);
  EXPECT_EQ(failed, 1) << "the launcher was never stopped before it started its remover";
}

// Two launchers started at the same moment (both made suspended, then let go one right after the
// other), twenty times, while the remover stays as it does when it waits for the user: each time
// exactly one remover starts, and neither launcher shows its failure dialog (the second quits, as
// a start while a remover runs does).
TEST_F(LauncherTest, TwoLaunchersStartedTogetherStartOneRemover) {
  const StayingRemovers stay;
  const std::string launcher = Launcher("Uninst_stub.exe", true);
  int pairs = 0;
  for (; pairs < 20; ++pairs) {
    SCOPED_TRACE(pairs);
    winui::Process first, second;
    HANDLE threads[2] = {};
    ASSERT_TRUE(StartSuspended(launcher, dir_, first, threads[0]));
    ASSERT_TRUE(StartSuspended(launcher, dir_, second, threads[1]));
    for (HANDLE thread : threads) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
    EXPECT_TRUE(first.Exited(20000) && second.Exited(20000)) << "a launcher stays";
    EXPECT_EQ(winui::FindTopWindow(kDialogTitle), nullptr);
    ASSERT_TRUE(winui::WaitFor([&] { return Starts() >= 1; })) << "no remover started";
    Sleep(winui::Scaled(200));  // a second remover would have written its record by now
    EXPECT_EQ(Starts(), 1u) << "removers started";
    StayingRemovers::Close();
    for (const std::string& folder : StagingFolders()) winscratch::RemoveTree(folder);
    DeleteFileA(log_.c_str());
  }
  std::printf("%d pairs of launchers started together\n", pairs);
}

}  // namespace
