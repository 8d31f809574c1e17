// The removal worker and folder-tree removal against the real file system and shell folders of
// the Wine prefix.
#include <shlobj.h>

#include <knownfolders.h>
#include <shobjidl.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <limits>

#include "FolderTree.h"
#include "KnownFolders.h"
#include "MemoryTree.h"
#include "Win32Handles.h"
#include "WideText.h"
#include "PayloadFiles.h"
#include "Registry.h"
#include "Removal.h"
#include "ShellServices.h"
#include "SystemEnvironment.h"
#include "SystemGuard.h"
#include "TestPaths.h"
#include "UnixSide.h"
#include "WinScratch.h"
#include "WinUi.h"

namespace {

using winscratch::Exists;
using winscratch::WriteFileBytes;
using remover::RunRemoval;

// Events as GBK text, for comparing with the listed paths.
struct RecordingView : remover::RemovalView {
  void DeletingFile(const std::wstring& path) override {
    events.push_back("file " + AsListed(path));
    progress.push_back(current);
    if (!watched.empty()) watchedAtFile.push_back(Exists(watched));
  }
  void DeletingFolder(const std::wstring& path) override {
    events.push_back("folder " + AsListed(path));
    folders.push_back(path);
  }
  void Progressed(std::int32_t value) override { current = value; }
  // Answers from `answers` in turn (then Abort), recording what was named each time.
  InUseAnswer FilesInUse(const std::vector<std::wstring>& names) override {
    std::vector<std::string> listed;
    for (const std::wstring& name : names) listed.push_back(AsListed(name));
    inUseAsked.push_back(listed);
    if (onInUse) onInUse();
    const std::size_t turn = inUseAsked.size() - 1;
    return turn < answers.size() ? answers[turn] : InUseAnswer::Abort;
  }
  void LeftBehind(const std::vector<std::wstring>& restart, const std::vector<std::wstring>& stay) override {
    for (const std::wstring& name : restart) atRestart.push_back(AsListed(name));
    for (const std::wstring& name : stay) staying.push_back(AsListed(name));
  }
  static std::string AsListed(const std::wstring& path) {
    return fw::Utf16ToGbk(fw::AsUtf16(path)).value_or("(not GBK)");
  }
  std::int32_t current = 0;  // the last progress value given
  std::vector<std::string> events;
  std::vector<std::wstring> folders;  // the folder texts as given
  std::vector<std::int32_t> progress;  // the progress at each file event
  std::string watched;                 // a path whose existence each file event records
  std::vector<bool> watchedAtFile;
  std::vector<InUseAnswer> answers;               // to FilesInUse, in turn
  std::function<void()> onInUse;                  // run when asked, before the answer
  std::vector<std::vector<std::string>> inUseAsked;
  std::vector<std::string> atRestart, staying;
};

struct Notification {
  LONG event;
  UINT flags;
  std::string path;
  bool operator==(const Notification&) const = default;
};

// The prefix's real shell folders; notifications recorded instead of sent, and any folder can be
// made unresolvable.
struct RecordingShell : remover::ShellServices {
  std::wstring FolderPath(int csidl) override {
    if (std::find(unresolvable.begin(), unresolvable.end(), csidl) != unresolvable.end()) return L"";
    return remover::SystemShell().FolderPath(csidl);
  }
  void ChangeNotify(LONG event, UINT flags, const std::wstring& path) override {
    notifications.push_back({event, flags, winscratch::Gbk(path)});
  }
  std::vector<int> unresolvable;
  std::vector<Notification> notifications;
};

const UINT kFlags = SHCNF_PATHW | SHCNF_FLUSH;
const LONG kDelete = static_cast<LONG>(0x80000004);
const LONG kRmDir = static_cast<LONG>(0x80000010);
const LONG kUpdateDir = static_cast<LONG>(0x80001000);
const std::string kUninstallLnk = "\xD0\xB6\xD4\xD8Zintera.lnk";
const std::string kHelpLnk = "\xB0\xEF\xD6\xFA\xCE\xC4\xB5\xB5.lnk";

std::string Shell(int csidl) { return winscratch::Gbk(remover::SystemShell().FolderPath(csidl)); }

// The programs built beside the tests (product_program.exe among them).
const std::string kPrograms = testpaths::BinaryDir() + "\\..\\..\\bin";

class WorkerTest : public winscratch::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    install_ = Path("Korvane");
    programName_ = std::string("KorvaneTest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    userPrograms_ = Shell(CSIDL_PROGRAMS) + "\\" + programName_;
    commonPrograms_ = Shell(CSIDL_COMMON_PROGRAMS) + "\\" + programName_;
    desktopLink_ = Shell(CSIDL_DESKTOP) + "\\Zintera.lnk";
  }
  void TearDown() override {
    winscratch::RemoveTree(userPrograms_);
    winscratch::RemoveTree(commonPrograms_);
    DeleteFileA(desktopLink_.c_str());
    ScratchDir::TearDown();
  }

  void Dir(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; }
  std::string In(const std::string& rel) const { return install_ + "\\" + rel; }

  // A Korvane installation: groups with listed files, a user file, a resource folder named in
  // Resource.ini, shortcuts on the desktop and in the per-user Start menu.
  payload::RemovalRecords MakeInstallation() {
    Dir(install_);
    for (const char* d : {"bin", "templates", "templates\\empty", "Skins", "Skins\\deep"}) Dir(In(d));
    for (const char* f : {"Korvane.exe", "Uninst.exe", "bin\\a.dll", "bin\\b.dll", "templates\\t1.lvf",
                          "templates\\user.lvf", "Skins\\s1.png", "Skins\\deep\\s2.png"})
      WriteFileBytes(In(f), "x");
    WriteFileBytes(In("Resource.ini"), "[Resources]\r\nres_Skins=1\r\nres_..=1\r\nabcd=1\r\n");
    Dir(userPrograms_);
    for (const std::string& f : {std::string("Zintera.lnk"), kUninstallLnk, kHelpLnk})
      WriteFileBytes(userPrograms_ + "\\" + f, "lnk");
    WriteFileBytes(desktopLink_, "lnk");
    return {{programName_, install_ + "\\", In("Uninst.exe")},
            {{In("bin"), {In("bin\\a.dll"), In("bin\\b.dll")}},
             {In("templates"), {In("templates\\t1.lvf"), In("templates\\missing.lvf")}},
             {install_, {In("Korvane.exe")}}}};
  }

  // What the worker announces for MakeInstallation's shortcuts: the desktop one, the three in
  // the per-user Start-menu folder, that folder when it was removed, the Programs folder.
  std::vector<Notification> ShortcutNotifications(bool folderRemoved) const {
    std::vector<Notification> expected{{kDelete, kFlags, desktopLink_},
                                       {kUpdateDir, kFlags, Shell(CSIDL_DESKTOP)},
                                       {kDelete, kFlags, userPrograms_ + "\\Zintera.lnk"},
                                       {kDelete, kFlags, userPrograms_ + "\\" + kUninstallLnk},
                                       {kDelete, kFlags, userPrograms_ + "\\" + kHelpLnk}};
    if (folderRemoved) expected.push_back({kRmDir, kFlags, userPrograms_});
    expected.push_back({kUpdateDir, kFlags, Shell(CSIDL_PROGRAMS)});
    return expected;
  }

  // The removal from the payload file `path`, opened as the remover holds its own file.
  int RunFrom(const std::string& path, BOOL history) {
    fw::File own;
    own.Open(winscratch::W(path), fw::File::Mode::ReadHeld);
    const remover::RemoverEnvironment env{shell_,
                                          remover::SystemRegistry(),
                                          remover::SystemWalk(),
                                          remover::SystemFolderGuard(),
                                          remover::SystemThreads(),
                                          remover::SystemRemoval()};
    return RunRemoval(own, history, view_, env);
  }

  int Run(const payload::RemovalRecords& records, BOOL history, std::uint32_t fileTotal = 0) {
    testpayload::Write(Path("~uninst.exe"), records, fileTotal);
    return RunFrom(Path("~uninst.exe"), history);
  }

  std::string install_, programName_, userPrograms_, commonPrograms_, desktopLink_;
  RecordingView view_;
  RecordingShell shell_;
};

TEST_F(WorkerTest, YesRemovesTheWholeInstallationAndItsShortcuts) {
  const auto records = MakeInstallation();
  EXPECT_EQ(Run(records, TRUE), IDOK);

  EXPECT_FALSE(Exists(install_)) << "user files go too when history is deleted";
  EXPECT_FALSE(Exists(userPrograms_));
  EXPECT_FALSE(Exists(desktopLink_));
  EXPECT_EQ(view_.events, (std::vector<std::string>{
                              "file " + In("bin\\a.dll"), "file " + In("bin\\b.dll"), "file " + In("templates\\t1.lvf"),
                              "file " + In("Korvane.exe"), "folder " + install_, "folder " + In("templates"),
                              "folder " + In("bin")}));
  // The status comes before the progress step, so each event sees the value of the file before.
  EXPECT_EQ(view_.progress, (std::vector<std::int32_t>{0, 40, 80, 120}));
  EXPECT_EQ(view_.current, 160) << "one of five listed files is missing: short of full";

  EXPECT_EQ(shell_.notifications, ShortcutNotifications(true));
}

TEST_F(WorkerTest, NoKeepsUserFilesAndTheFoldersThatHoldThem) {
  const auto records = MakeInstallation();
  EXPECT_EQ(Run(records, FALSE), IDOK);

  for (const char* gone : {"Korvane.exe", "Uninst.exe", "bin", "templates\\t1.lvf", "templates\\empty", "Skins",
                           "Resource.ini"})
    EXPECT_FALSE(Exists(In(gone))) << gone;
  EXPECT_TRUE(Exists(In("templates\\user.lvf")));
  EXPECT_EQ(view_.current, 160);
  EXPECT_FALSE(Exists(userPrograms_));
}

TEST_F(WorkerTest, ResourceFoldersGoBeforeTheFirstListedFileNotAfterAndOnlyInsideTheInstallFolder) {
  Dir(install_);
  Dir(Path("outside"));
  WriteFileBytes(Path("outside\\keep.txt"), "x");
  Dir(In("Skins"));
  WriteFileBytes(In("Skins\\s.png"), "x");
  Dir(In("Fonts"));
  WriteFileBytes(In("Fonts\\f.ttf"), "x");
  WriteFileBytes(In("listed.txt"), "x");
  WriteFileBytes(In("Resource.ini"),
                 "res_Skins=1\nres_..\\outside=1\nres_" + Path("outside") + "=1\nabcd=\n=x\nres_Fonts\n"
                 "res_.\\..\\outside=1\nlastFonts=1");  // the last line has no line end
  // Install folder without its trailing backslash: the same paths result.
  const payload::RemovalRecords records{{programName_, install_, ""}, {{"", {In("listed.txt")}}}};
  view_.watched = In("Fonts\\f.ttf");
  EXPECT_EQ(Run(records, FALSE), IDOK);
  EXPECT_EQ(view_.watchedAtFile, std::vector<bool>{false}) << "the first listed file went before the resource folders";
  EXPECT_FALSE(Exists(In("Skins"))) << "resource folders go with their files whatever the answer";
  EXPECT_FALSE(Exists(In("Fonts")));
  EXPECT_FALSE(Exists(In("Resource.ini")));
  EXPECT_TRUE(Exists(Path("outside\\keep.txt")));
  EXPECT_TRUE(Exists(install_)) << "a four-byte key would have named the install folder itself";
  EXPECT_EQ(view_.events, (std::vector<std::string>{"file " + In("listed.txt")}))
      << "a group without a folder keeps its files but adds no folder";
}

// An install folder whose text ends in half a character: with a backslash appended it would be
// "Korvane乗", whose "Resource.ini" and resource folders are another folder's.
TEST_F(WorkerTest, AnInstallFolderEndingInHalfACharacterNamesNoSiblingOfIt) {
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const std::string sibling = install_ + "\x81\\";  // Korvane乗
  WriteFileBytes(sibling + "Resource.ini", "res_Data=1\r\n");
  Dir(sibling + "Data");
  WriteFileBytes(sibling + "Data\\keep.txt", "not the product's");
  const payload::RemovalRecords records{{programName_, install_ + "\x81", ""}, {{"", {In("a.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_FALSE(Exists(In("a.txt")));
  EXPECT_TRUE(Exists(sibling + "Data\\keep.txt"));
  EXPECT_TRUE(Exists(sibling + "Resource.ini"));
}

TEST_F(WorkerTest, FilesThatCannotGoStillAdvanceMissingAndOverlongOnesDoNot) {
  Dir(install_);
  WriteFileBytes(In("ro.txt"), "x");
  SetFileAttributesA(In("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(In("busy.txt"), "x");
  Dir(In("afolder"));
  const std::string longPath = In(std::string(260 - In("").size(), 'L'));
  ASSERT_GE(longPath.size(), 260u);
  HANDLE busy = CreateFileA(In("busy.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);

  const payload::RemovalRecords records{
      {programName_, install_, ""},
      {{install_, {In("ro.txt"), In("busy.txt"), In("afolder"), In("gone.txt"), longPath}}}};
  EXPECT_EQ(Run(records, TRUE, 2), IDOK);
  CloseHandle(busy);

  EXPECT_EQ(view_.events, (std::vector<std::string>{"file " + In("ro.txt"), "file " + In("busy.txt"),
                                                    "file " + In("afolder"), "folder " + install_}));
  EXPECT_EQ(view_.progress, (std::vector<std::int32_t>{0, 100, 200}));
  EXPECT_EQ(view_.current, 300) << "fileTotal 2 < 3 found: past 200";
  EXPECT_TRUE(Exists(In("ro.txt")));
  EXPECT_TRUE(Exists(In("busy.txt")));
  EXPECT_TRUE(Exists(install_)) << "it still holds the read-only and the busy file";
  SetFileAttributesA(In("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The walk lists and deletes in UTF-16: a history file whose name has no GBK form (an ANSI
// search shows it as '?', which deletes nothing) goes with "是" and keeps its folder with "否".
TEST_F(WorkerTest, HistoryNamesWithoutAGbkFormGoWithYesAndStayWithNo) {
  Dir(install_);
  Dir(In("History"));
  const std::wstring odd = winscratch::W(In("History")) + L"\\\U0001F600\uD55C\uAD6D.dat";
  const auto create = [&] {
    HANDLE h = CreateFileW(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    WriteFileBytes(In("a.txt"), "x");
  };
  const payload::RemovalRecords records{{programName_, install_, ""}, {{In("History"), {In("a.txt")}}}};
  create();
  EXPECT_EQ(Run(records, FALSE), IDOK);
  EXPECT_NE(GetFileAttributesW(odd.c_str()), INVALID_FILE_ATTRIBUTES) << "kept with no";
  create();
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_EQ(GetFileAttributesW(odd.c_str()), INVALID_FILE_ATTRIBUTES) << "deleted with yes";
  EXPECT_FALSE(Exists(In("History")));
}

// A group that lists no file still names a folder the product made: it goes at the end, with
// "否" when it is empty, with "是" together with what it holds.
TEST_F(WorkerTest, AGroupWithoutFilesStillRemovesItsFolderNotSkippedForHavingNoFiles) {
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  Dir(In("cache"));
  Dir(In("plugins"));
  WriteFileBytes(In("plugins\\user.dat"), "x");
  const payload::RemovalRecords records{{programName_, install_, ""},
                                        {{In("cache"), {}}, {In("plugins"), {}}, {"", {In("a.txt")}}}};
  EXPECT_EQ(Run(records, FALSE), IDOK);
  EXPECT_FALSE(Exists(In("cache"))) << "empty, so it goes with no";
  EXPECT_TRUE(Exists(In("plugins\\user.dat"))) << "it holds a user file: kept with no";
  EXPECT_EQ(view_.events, (std::vector<std::string>{"file " + In("a.txt"), "folder " + In("plugins"),
                                                    "folder " + In("cache")}));

  WriteFileBytes(In("a.txt"), "x");
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_FALSE(Exists(In("plugins"))) << "with yes it goes with what it holds";
}

// A shortcut the system will not delete (another program holds it open) is announced all the
// same, and the other shortcuts still go.
TEST_F(WorkerTest, AHeldShortcutIsStillAnnouncedAndDoesNotStopTheRest) {
  MakeInstallation();
  const payload::RemovalRecords records{{programName_, install_, ""}, {{"", {In("Korvane.exe")}}}};
  HANDLE held = CreateFileA(desktopLink_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string heldLink = userPrograms_ + "\\" + kHelpLnk;
  HANDLE heldInFolder = CreateFileA(heldLink.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(heldInFolder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run(records, TRUE), IDOK);
  const bool desktopStayed = Exists(desktopLink_), helpStayed = Exists(heldLink);
  CloseHandle(held);
  CloseHandle(heldInFolder);

  EXPECT_TRUE(desktopStayed) << "the held shortcut could not be deleted";
  EXPECT_TRUE(helpStayed);
  EXPECT_FALSE(Exists(userPrograms_ + "\\Zintera.lnk"));
  EXPECT_FALSE(Exists(userPrograms_ + "\\" + kUninstallLnk));
  EXPECT_EQ(shell_.notifications, ShortcutNotifications(false))
      << "the Start-menu folder still holds the held shortcut: it stays, and no removal is announced";
}

// Windows takes "C:/x/" for "C:\x\": an install folder and listed folders written with '/' are
// full paths, so "Resource.ini" is read and deleted and the folders are removed.
TEST_F(WorkerTest, SlashWrittenPathsAreFullPathsNotSkippedAsRelative) {
  MakeInstallation();
  std::string slashed = install_;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const payload::RemovalRecords records{{programName_, slashed + "/", ""},
                                        {{slashed + "/bin", {slashed + "/bin/a.dll", In("bin\\b.dll")}},
                                         {slashed + "/templates/empty", {}}}};
  EXPECT_EQ(Run(records, FALSE), IDOK);
  EXPECT_FALSE(Exists(In("Skins"))) << "Resource.ini was not read";
  EXPECT_FALSE(Exists(In("Resource.ini")));
  EXPECT_FALSE(Exists(In("bin")));
  EXPECT_FALSE(Exists(In("templates\\empty")));
  EXPECT_TRUE(Exists(In("Korvane.exe")));

  // A guarded folder written with '/' is guarded like its backslash form.
  const std::string canary = Shell(CSIDL_PROGRAM_FILES) + "\\korvane-canary.txt";
  WriteFileBytes(canary, "x");
  std::string programFiles = Shell(CSIDL_PROGRAM_FILES);
  std::replace(programFiles.begin(), programFiles.end(), '\\', '/');
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords guarded{{programName_, slashed + "/", ""}, {{programFiles + "/", {In("a.txt")}}}};
  EXPECT_EQ(Run(guarded, TRUE), IDOK);
  EXPECT_TRUE(Exists(canary));
  DeleteFileA(canary.c_str());
}

// A listed file or final file written with a separator at its end names a folder: no file is found
// by it, so nothing is deleted and neither status nor progress moves, whatever the name before the
// separator holds.
TEST_F(WorkerTest, AListedPathEndingInASeparatorFindsNoFile) {
  Dir(install_);
  for (const char* f : {"a.dll", "b.dll", "final.exe"}) WriteFileBytes(In(f), "x");
  const payload::RemovalRecords records{{programName_, install_, In("final.exe") + "\\"},
                                        {{"", {In("a.dll") + "\\", In("b.dll") + "/", In("c.dll")}}}};
  EXPECT_EQ(Run(records, TRUE, 3), IDOK);
  for (const char* f : {"a.dll", "b.dll", "final.exe"}) EXPECT_TRUE(Exists(In(f))) << f;
  EXPECT_TRUE(view_.events.empty());
  EXPECT_EQ(view_.current, 0);
}

// Only the current user's desktop is searched: the product's shortcut on the all-users desktop
// stays.
TEST_F(WorkerTest, AShortcutOnTheAllUsersDesktopStays) {
  const std::string common = Shell(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Zintera.lnk";
  WriteFileBytes(common, "lnk");
  const payload::RemovalRecords records = MakeInstallation();
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_TRUE(Exists(common));
  EXPECT_FALSE(Exists(desktopLink_));
  DeleteFileA(common.c_str());
}

TEST_F(WorkerTest, NoGroupsStillHandlesResourceIniFinalFileAndShortcuts) {
  const auto full = MakeInstallation();
  const payload::RemovalRecords records{full.header, {}};
  testpayload::Write(Path("~uninst.exe"), records, 7);  // a trailer needs a non-zero total
  EXPECT_EQ(RunFrom(Path("~uninst.exe"), TRUE), IDOK);
  EXPECT_TRUE(view_.events.empty());
  EXPECT_TRUE(Exists(In("Korvane.exe")));
  EXPECT_FALSE(Exists(In("Uninst.exe")));
  EXPECT_FALSE(Exists(In("Skins")));
  EXPECT_FALSE(Exists(In("Resource.ini")));
  EXPECT_FALSE(Exists(desktopLink_));
  EXPECT_FALSE(Exists(userPrograms_));
}

TEST_F(WorkerTest, DamagedOrMissingPayloadsDeleteNothing) {
  const auto records = MakeInstallation();
  // A valid trailer over records cut after the first group: the first files are named, but the
  // archive ends early.
  testpayload::Write(Path("full.exe"), records);
  const std::string bytes = testpaths::ReadBytes(Path("full.exe"));
  const std::size_t cut = bytes.find("templates") - 3;
  WriteFileBytes(Path("cut.exe"), bytes.substr(0, cut) + bytes.substr(bytes.size() - 16));
  // Invalid trailers: fileTotal 0, and a wrong consistency value.
  std::string zeroTotal = bytes;
  zeroTotal.replace(zeroTotal.size() - 4, 4, std::string(4, '\0'));
  WriteFileBytes(Path("zero.exe"), zeroTotal);
  std::string badEnd = bytes;
  badEnd[badEnd.size() - 8] ^= 1;
  WriteFileBytes(Path("badend.exe"), badEnd);
  WriteFileBytes(Path("short.exe"), "MZ");

  for (const char* name : {"cut.exe", "zero.exe", "badend.exe", "short.exe", "nonexistent.exe"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RunFrom(Path(name), TRUE), IDCANCEL);
  }
  EXPECT_TRUE(view_.events.empty());
  EXPECT_TRUE(shell_.notifications.empty());
  for (const char* kept : {"bin\\a.dll", "Skins\\s1.png", "Resource.ini", "Uninst.exe"})
    EXPECT_TRUE(Exists(In(kept))) << kept;
  EXPECT_TRUE(Exists(desktopLink_));
  EXPECT_EQ(view_.current, 0);
}

TEST_F(WorkerTest, StartMenuFallsBackToAllUsersAndKeepsForeignContent) {
  Dir(install_);
  Dir(commonPrograms_);
  WriteFileBytes(commonPrograms_ + "\\Zintera.lnk", "lnk");
  WriteFileBytes(commonPrograms_ + "\\Readme.txt", "not ours");
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("a.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_FALSE(Exists(commonPrograms_ + "\\Zintera.lnk"));
  EXPECT_TRUE(Exists(commonPrograms_ + "\\Readme.txt"));
  EXPECT_EQ(shell_.notifications,
            (std::vector<Notification>{{kDelete, kFlags, commonPrograms_ + "\\Zintera.lnk"},
                                       {kUpdateDir, kFlags, Shell(CSIDL_COMMON_PROGRAMS)}}))
      << "no desktop notification without a desktop shortcut";
}

TEST_F(WorkerTest, NeitherStartMenuFolderAndUnresolvableFolders) {
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("a.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_EQ(shell_.notifications, (std::vector<Notification>{{kUpdateDir, kFlags, Shell(CSIDL_COMMON_PROGRAMS)}}));

  WriteFileBytes(desktopLink_, "lnk");
  Dir(install_);
  shell_.notifications.clear();
  shell_.unresolvable = {CSIDL_DESKTOP, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_TRUE(shell_.notifications.empty()) << "nothing is announced for a folder that has no path";
  EXPECT_TRUE(Exists(desktopLink_));
}

TEST_F(WorkerTest, ProgramFolderNamesThatAreNotOneNameTouchNothingThere) {
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const std::string programs = Shell(CSIDL_PROGRAMS);
  const std::string decoy = programs + "\\KorvaneDecoy";
  Dir(decoy);
  WriteFileBytes(decoy + "\\Zintera.lnk", "someone else's");
  for (const std::string& name : {std::string(""), std::string("KorvaneDecoy\\..\\KorvaneDecoy"), std::string("..")}) {
    const payload::RemovalRecords records{{name, install_, ""}, {{"", {In("a.txt")}}}};
    EXPECT_EQ(Run(records, TRUE), IDOK);
  }
  EXPECT_TRUE(Exists(decoy + "\\Zintera.lnk"));
  EXPECT_TRUE(Exists(programs));
  winscratch::RemoveTree(decoy);
}

TEST_F(WorkerTest, GuardedFoldersAreNeverWalked) {
  // Listed folders: the temporary folder, a drive root, the Users folder, a relative path.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string canary = std::string(temp) + "korvane-canary.txt";
  WriteFileBytes(canary, "x");
  std::string users = Shell(CSIDL_PROFILE);
  users.resize(users.rfind('\\'));
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  // Program Files under its short name too: another name of a guarded folder is guarded.
  char programFilesAlias[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA(Shell(CSIDL_PROGRAM_FILES).c_str(), programFilesAlias, MAX_PATH), 0u);
  const std::string programFilesCanary = Shell(CSIDL_PROGRAM_FILES) + "\\korvane-canary.txt";
  WriteFileBytes(programFilesCanary, "x");
  const payload::RemovalRecords listed{
      {programName_, install_, ""},
      {{temp, {In("a.txt")}}, {"C:\\", {}}, {users, {}}, {"relative", {}}, {programFilesAlias, {}}}};
  EXPECT_EQ(Run(listed, TRUE), IDOK);
  EXPECT_TRUE(Exists(canary));
  EXPECT_TRUE(Exists(programFilesCanary));
  EXPECT_FALSE(Exists(In("a.txt")));
  DeleteFileA(canary.c_str());
  DeleteFileA(programFilesCanary.c_str());

  // A Resource.ini line naming a profile root (C:\users\Public) from an install folder above it.
  const std::string publicCanary = Shell(CSIDL_COMMON_DOCUMENTS) + "\\korvane-canary.txt";
  WriteFileBytes(publicCanary, "x");
  WriteFileBytes(users + "\\Resource.ini", "res_Public=1\r\n");
  WriteFileBytes(In("b.txt"), "x");
  const payload::RemovalRecords fromUsers{{programName_, users + "\\", ""}, {{"", {In("b.txt")}}}};
  EXPECT_EQ(Run(fromUsers, TRUE), IDOK);
  EXPECT_TRUE(Exists(publicCanary));
  EXPECT_TRUE(Exists(users + "\\Resource.ini")) << "not the product's: the install folder is the profiles folder";
  EXPECT_FALSE(Exists(In("b.txt")));
  DeleteFileA(publicCanary.c_str());
  DeleteFileA((users + "\\Resource.ini").c_str());
}

// A payload written by something other than uninst-pack whose install folder is a drive's root
// or a system folder: the "Resource.ini" planted there is neither followed nor deleted, and the
// rest of the removal goes on.
TEST_F(WorkerTest, AnInstallFolderTheGuardRefusesHasNoResourceIni) {
  Dir(install_);
  for (const std::string& installDir : {std::string("C:\\"), Shell(CSIDL_COMMON_APPDATA) + "\\"}) {
    const std::string victim = installDir + "korvane-victim";
    Dir(victim);
    WriteFileBytes(victim + "\\precious.txt", "x");
    WriteFileBytes(installDir + "Resource.ini", "[Resources]\r\nres_korvane-victim=1\r\n");
    WriteFileBytes(In("a.txt"), "x");
    const payload::RemovalRecords records{{programName_, installDir, ""}, {{"", {In("a.txt")}}}};
    EXPECT_EQ(Run(records, TRUE), IDOK);
    EXPECT_TRUE(Exists(victim + "\\precious.txt")) << installDir;
    EXPECT_TRUE(Exists(installDir + "Resource.ini")) << installDir;
    EXPECT_FALSE(Exists(In("a.txt"))) << "the listed file still goes";
    winscratch::RemoveTree(victim);
    DeleteFileA((installDir + "Resource.ini").c_str());
  }
}

// A folder that holds a guarded folder, anything in the Windows tree, and a known folder with no
// CSIDL, listed as groups and answered 是: each keeps a canary.
TEST_F(WorkerTest, FoldersThatHoldSystemFoldersAndTheWindowsTreeAreNeverWalked) {
  const std::string profile = Shell(CSIDL_PROFILE);
  const std::string roaming = Shell(CSIDL_APPDATA);
  const std::string drivers = Shell(CSIDL_SYSTEM) + "\\drivers";
  const std::string savedGames = profile + "\\Saved Games";
  CreateDirectoryA(savedGames.c_str(), nullptr);
  CreateDirectoryA(drivers.c_str(), nullptr);
  const std::string canaries[] = {roaming + "\\korvane-canary.txt", Shell(CSIDL_LOCAL_APPDATA) + "\\korvane-canary.txt",
                                  Shell(CSIDL_PROGRAMS) + "\\korvane-canary.lnk", drivers + "\\korvane-canary.sys",
                                  savedGames + "\\korvane-canary.sav"};
  for (const std::string& canary : canaries) WriteFileBytes(canary, "x");
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords listed{{programName_, install_, ""},
                                       {{profile + "\\AppData", {}},
                                        {roaming + "\\Microsoft", {}},
                                        {drivers, {}},
                                        {savedGames, {}},
                                        {install_, {In("a.txt")}}}};
  EXPECT_EQ(Run(listed, TRUE), IDOK);
  for (const std::string& canary : canaries) {
    EXPECT_TRUE(Exists(canary)) << canary;
    DeleteFileA(canary.c_str());
  }
  EXPECT_FALSE(Exists(install_)) << "the product's own folder still goes";
}

// Folders no hand-written list named, listed as groups and answered 是: known folders at their
// default places (the system gives no path for those it has not made) and the folders that hold
// one, under other names too, and other products' folders directly in a drive's root or in
// Program Files. Everything in them stays; the product's own folders, in its install folder and
// below AppData and ProgramData, still go.
TEST_F(WorkerTest, KnownFoldersAndOtherProductsFoldersKeepEverythingInThem) {
  const std::string profile = Shell(CSIDL_PROFILE);
  const std::string local = Shell(CSIDL_LOCAL_APPDATA);
  const std::string programFiles = Shell(CSIDL_PROGRAM_FILES);
  const std::string common = Shell(CSIDL_PROGRAM_FILES_COMMON);
  const std::string perUser = local + "\\Programs";
  const std::vector<std::string> folders = {perUser, profile + "\\3D Objects",
                                            profile + "\\OneDrive", "C:\\Recovery", "C:\\PerfLogs",
                                            programFiles + "\\Windows Defender", common + "\\Microsoft Shared"};
  std::vector<std::string> kept;
  for (const std::string& folder : folders) {
    CreateDirectoryA(folder.c_str(), nullptr);
    kept.push_back(folder + "\\korvane-canary.txt");
    WriteFileBytes(kept.back(), "x");
  }
  CreateDirectoryA((perUser + "\\Other").c_str(), nullptr);
  kept.push_back(perUser + "\\Other\\other.exe");  // another product installed for the user
  WriteFileBytes(kept.back(), "x");
  // The product's data folders: below known folders, the product's to remove.
  const std::string roamingData = Shell(CSIDL_APPDATA) + "\\KorvaneTest-data";
  const std::string machineData = Shell(CSIDL_COMMON_APPDATA) + "\\KorvaneTest-data";
  const std::string perUserOwn = perUser + "\\KorvaneTest-own";
  for (const std::string& data : {roamingData, machineData, perUserOwn}) {
    Dir(data);
    WriteFileBytes(data + "\\history.dat", "x");
  }
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  Dir(In("control"));
  WriteFileBytes(In("control\\state.dat"), "x");

  char shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA((profile + "\\3D Objects").c_str(), shortName, MAX_PATH), 0u);
  payload::RemovalRecords records{{programName_, install_, ""}, {}};
  for (const std::string& folder : folders) records.groups.push_back({folder, {}});
  for (const std::string& other : std::vector<std::string>{shortName, "\\\\?\\C:\\Recovery", "\\\\localhost\\C$\\PerfLogs",
                                   local, Shell(CSIDL_PROGRAM_FILES) + "\\..\\Recovery"})
    records.groups.push_back({other, {}});
  for (const std::string& data : {roamingData, machineData, perUserOwn}) records.groups.push_back({data, {}});
  records.groups.push_back({In("control"), {}});
  records.groups.push_back({install_, {In("a.txt")}});
  EXPECT_EQ(Run(records, TRUE), IDOK);
  for (const std::string& canary : kept) EXPECT_TRUE(Exists(canary)) << canary;
  for (const std::string& data : {roamingData, machineData, perUserOwn}) EXPECT_FALSE(Exists(data)) << data;
  EXPECT_FALSE(Exists(install_)) << "the product's control folder and install folder go";
  for (const std::string& canary : kept) DeleteFileA(canary.c_str());
  RemoveDirectoryA((perUser + "\\Other").c_str());
  for (const std::string& folder : folders) RemoveDirectoryA(folder.c_str());
}

// Documented known folders whose default places lie below other known folders: OneDrive's own
// Documents and Pictures (SkyDriveDocuments, SkyDrivePictures), Application Shortcuts in
// LocalAppData, RetailDemo in ProgramData, the Sidebar's default gadgets in Program Files
// (SidebarDefaultParts, which Wine registers without a path). Each is a user's or the system's
// folder: listed as a group folder and answered 是, everything in it stays.
TEST_F(WorkerTest, KnownFoldersBelowOtherKnownFoldersKeepEverythingInThem) {
  const std::string profile = Shell(CSIDL_PROFILE);
  const std::string local = Shell(CSIDL_LOCAL_APPDATA);
  const std::string programData = Shell(CSIDL_COMMON_APPDATA);
  const std::string programFiles = Shell(CSIDL_PROGRAM_FILES);
  const std::vector<std::string> made = {profile + "\\OneDrive",
                                         profile + "\\OneDrive\\Documents",
                                         profile + "\\OneDrive\\Pictures",
                                         profile + "\\OneDrive\\Pictures\\Camera Roll",
                                         local + "\\Microsoft",
                                         local + "\\Microsoft\\Windows",
                                         local + "\\Microsoft\\Windows\\Application Shortcuts",
                                         programData + "\\Microsoft",
                                         programData + "\\Microsoft\\Windows",
                                         programData + "\\Microsoft\\Windows\\RetailDemo",
                                         programFiles + "\\Windows Sidebar",
                                         programFiles + "\\Windows Sidebar\\Gadgets"};
  for (const std::string& folder : made) CreateDirectoryA(folder.c_str(), nullptr);
  const std::vector<std::string> listed = {profile + "\\OneDrive\\Documents",
                                           profile + "\\OneDrive\\Pictures",
                                           local + "\\Microsoft\\Windows\\Application Shortcuts",
                                           programData + "\\Microsoft\\Windows\\RetailDemo",
                                           programFiles + "\\Windows Sidebar\\Gadgets"};
  std::vector<std::string> kept;
  for (const std::string& folder : listed) {
    kept.push_back(folder + "\\korvane-canary.txt");
    WriteFileBytes(kept.back(), "x");
  }
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  payload::RemovalRecords records{{programName_, install_, ""}, {}};
  for (const std::string& folder : listed) records.groups.push_back({folder, {}});
  records.groups.push_back({install_, {In("a.txt")}});
  EXPECT_EQ(Run(records, TRUE), IDOK);
  for (const std::string& canary : kept) EXPECT_TRUE(Exists(canary)) << canary;
  for (const std::string& folder : listed) EXPECT_TRUE(Exists(folder)) << folder;
  for (const std::string& canary : kept) DeleteFileA(canary.c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryA(it->c_str());
}

// A user builds a tree thousands of levels deep (one-letter names, a file in each) in a product
// data folder the walk enters. The remover ends with its command for the registry step, the walk
// having gone kMaxWalkDepth levels deep: the files down to there go, the rest stays. The time is
// printed for the record.
TEST_F(WorkerTest, ATreeThousandsOfLevelsDeepNeitherStopsNorHoldsTheRemover) {
  Dir(install_);
  Dir(In("data"));
  WriteFileBytes(In("a.txt"), "x");
  const std::string data = unixside::UnixPath(winscratch::W(In("data")));
  ASSERT_FALSE(data.empty());
  // Taken down from the Linux side (relative opens), whatever the test's outcome: the Windows
  // side's clean-up would stop where Wine stops opening deeper folders.
  struct RemovedOnLinuxSide {
    std::string path;
    ~RemovedOnLinuxSide() { unixside::Run("rm -rf " + unixside::Quoted(path)); }
  } const cleanup{data};
  const int levels = 3000;
  // Made relative to each level (the shell's cd would resolve the whole path each time).
  ASSERT_TRUE(unixside::Run("perl -e 'chdir $ARGV[0] or die; for (1..$ARGV[1]) { open(F, \">f\") or die; close F; "
                            "mkdir \"a\" or die; chdir \"a\" or die }' " +
                            unixside::Quoted(data) + " " + std::to_string(levels)));
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("a.txt")}}}};
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Run(records, TRUE), IDOK);
  const ULONGLONG took = GetTickCount64() - start;
  const std::string count = unixside::UnixPath(winscratch::W(Path("count.txt")));
  ASSERT_TRUE(unixside::Run("find " + unixside::Quoted(data) + " -name f | wc -l > " + unixside::Quoted(count)));
  std::string left = testpaths::ReadBytes(Path("count.txt"));
  std::printf("a tree of %d levels: removal ended after %llu ms, %s files left\n", levels, took, left.c_str());
  EXPECT_EQ(std::stoi(left), levels - static_cast<int>(removal::kMaxWalkDepth));
  EXPECT_FALSE(Exists(In("a.txt")));
}

// 100,000 levels through the walk's order, on a thread made as the worker's is: its stack does not
// grow per level.
struct DeepWalkJob {
  memorytree::MemoryTree tree = memorytree::MemoryTree::Chain(100000, 1);
  bool removed = false;
};

DWORD CALLBACK WalkDeepTree(LPVOID param) {
  auto* job = static_cast<DeepWalkJob*>(param);
  job->removed = removal::WalkPostOrder(job->tree, 0, std::numeric_limits<std::size_t>::max());
  return 0;
}

TEST(WorkerThreadWalk, AHundredThousandLevelsOnTheWorkersStack) {
  DeepWalkJob job;
  const HANDLE thread = remover::SystemThreads().Create(WalkDeepTree, &job, 0);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 0u) << "the thread ended normally";
  EXPECT_TRUE(job.removed);
  EXPECT_EQ(job.tree.FilesLeft(), 0u);
}

// A product program running from the install folder is named before anything is removed. 中止
// removes nothing; closing it and 重试 goes on and removes everything.
TEST_F(WorkerTest, AProgramRunningFromTheInstallFolderIsNamedFirst) {
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("Korvane.exe"), In("a.txt")}}}};
  winui::EndedProcess program;
  ASSERT_TRUE(winui::StartProductProgram(kPrograms, In("Korvane.exe"), program));
  view_.answers = {remover::RemovalView::InUseAnswer::Abort};
  EXPECT_EQ(Run(records, TRUE), IDCANCEL);
  ASSERT_EQ(view_.inUseAsked.size(), 1u);
  EXPECT_EQ(view_.inUseAsked[0].back(), In("Korvane.exe"));
  EXPECT_TRUE(Exists(In("a.txt"))) << "中止 removes nothing";
  EXPECT_TRUE(view_.events.empty());

  view_ = RecordingView();
  view_.answers = {remover::RemovalView::InUseAnswer::Retry};
  view_.onInUse = [&] {
    TerminateProcess(program.handle, 0);
    WaitForSingleObject(program.handle, 10000);
  };
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_EQ(view_.inUseAsked.size(), 1u) << "asked once, then the program had ended";
  EXPECT_FALSE(Exists(install_));
}

// Folders this run made for files in use, at the root of C: ("C:\~korvane.restart.*").
std::vector<std::string> RestartFolders() {
  std::vector<std::string> found;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\~korvane.restart.*", &data);
  if (h == INVALID_HANDLE_VALUE) return found;
  do found.push_back(std::string("C:\\") + data.cFileName);
  while (FindNextFileA(h, &data));
  FindClose(h);
  return found;
}

// Runs a program of the prefix and waits for it.
bool RunAndWait(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  const bool ended = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
  CloseHandle(pi.hProcess);
  return ended;
}

// 忽略 with the product program still running: it is moved into a folder of this run that only
// administrators can change and scheduled for the restart; the install folder goes now, and the
// user is told. Before the restart the product is installed again and a link is put where the
// moved file's folder was: after the restart (wineboot -r carries out what was scheduled) the
// moved file and its folder are gone, and everything else is where it was.
TEST_F(WorkerTest, AProgramStillRunningIsMovedAsideAndGoneAfterTheRestart) {
  for (const std::string& old : RestartFolders()) winscratch::RemoveTree(old);
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("Korvane.exe"), In("a.txt")}}}};
  winui::EndedProcess program;
  ASSERT_TRUE(winui::StartProductProgram(kPrograms, In("Korvane.exe"), program));
  view_.answers = {remover::RemovalView::InUseAnswer::Ignore};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  TerminateProcess(program.handle, 0);
  WaitForSingleObject(program.handle, 10000);
  EXPECT_FALSE(Exists(install_)) << "the install folder went";
  EXPECT_EQ(view_.atRestart, std::vector<std::string>{In("Korvane.exe")});
  const std::vector<std::string> made = RestartFolders();
  ASSERT_EQ(made.size(), 1u);

  // Before the restart: the product again, and a link where the install folder was (to a folder
  // outside, with somebody's file).
  Dir(install_);
  WriteFileBytes(In("Korvane.exe"), "reinstalled");
  const std::string victim = Path("victim");
  Dir(victim);
  WriteFileBytes(victim + "\\precious.txt", "x");
  const std::string installUnix = unixside::UnixPath(winscratch::W(install_));
  ASSERT_TRUE(unixside::Run("ln -s " + unixside::Quoted(unixside::UnixPath(winscratch::W(victim))) + " " +
                            unixside::Quoted(installUnix + "/bin")));
  ASSERT_TRUE(RunAndWait("wineboot.exe -r"));
  EXPECT_TRUE(RestartFolders().empty()) << "the moved file and its folder went at the restart";
  EXPECT_EQ(testpaths::ReadBytes(In("Korvane.exe")), "reinstalled");
  EXPECT_TRUE(Exists(victim + "\\precious.txt"));
  unixside::Run("rm -f " + unixside::Quoted(installUnix + "/bin"));
}

// A program running from a folder the walk empties (not listed itself, so not asked about
// before): moved aside like a listed one, and its folder goes with the rest.
TEST_F(WorkerTest, AProgramRunningInAWalkedFolderIsMovedAsideToo) {
  for (const std::string& old : RestartFolders()) winscratch::RemoveTree(old);
  Dir(install_);
  Dir(In("plugins"));
  WriteFileBytes(In("a.txt"), "x");
  winui::EndedProcess program;
  ASSERT_TRUE(winui::StartProductProgram(kPrograms, In("plugins\\tool.exe"), program));
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("a.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_TRUE(view_.inUseAsked.empty());
  EXPECT_FALSE(Exists(install_));
  ASSERT_EQ(view_.atRestart.size(), 1u);
  std::string moved = view_.atRestart[0], listed = In("plugins\\tool.exe");
  EXPECT_EQ(std::string(CharLowerA(moved.data())), std::string(CharLowerA(listed.data())));
  EXPECT_EQ(RestartFolders().size(), 1u);
}

// A listed file another program holds without sharing deletion cannot even be opened for it: the
// rest goes, it stays where it is and is named at the end, and nothing is scheduled for it (its
// folder is the user's to change, so its path could mean anything at the restart).
TEST_F(WorkerTest, AFileAnotherProgramHoldsStaysAndIsNamedAtTheEnd) {
  for (const std::string& old : RestartFolders()) winscratch::RemoveTree(old);
  Dir(install_);
  for (const char* f : {"doc.lvf", "a.txt"}) WriteFileBytes(In(f), "x");
  const HANDLE held = CreateFileA(In("doc.lvf").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const payload::RemovalRecords records{{programName_, install_, ""}, {{install_, {In("doc.lvf"), In("a.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  CloseHandle(held);
  EXPECT_TRUE(view_.inUseAsked.empty()) << "a document is not asked about before";
  EXPECT_TRUE(Exists(In("doc.lvf")));
  EXPECT_FALSE(Exists(In("a.txt")));
  EXPECT_EQ(view_.staying, std::vector<std::string>{In("doc.lvf")});
  EXPECT_TRUE(view_.atRestart.empty());
  EXPECT_TRUE(RestartFolders().empty()) << "nothing was moved aside";
}

// Every known folder the system registers, where it gives a path, is refused under that path and
// its default one; the list and the counts are printed for the record.
TEST_F(WorkerTest, EveryKnownFolderTheSystemRegistersIsRefused) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IKnownFolderManager* made = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IKnownFolderManager, reinterpret_cast<void**>(&made))));
  const fw::ComObject<IKnownFolderManager> manager(made);
  KNOWNFOLDERID* ids = nullptr;
  UINT count = 0;
  ASSERT_TRUE(SUCCEEDED(manager.get()->GetFolderIds(&ids, &count)));
  const fw::CoTaskMemory ownedIds(ids);
  const removal::FolderGuard& guard = remover::SystemFolderGuard();
  int withPath = 0;
  std::string names;
  for (UINT i = 0; i < count; ++i) {
    IKnownFolder* folder = nullptr;
    if (FAILED(manager.get()->GetFolder(ids[i], &folder))) continue;
    const fw::ComObject<IKnownFolder> known(folder);
    KNOWNFOLDER_DEFINITION definition{};
    if (FAILED(known.get()->GetFolderDefinition(&definition))) continue;
    const std::string name = winscratch::Gbk(definition.pszName ? definition.pszName : L"?");
    FreeKnownFolderDefinitionFields(&definition);
    PWSTR path = nullptr;
    const HRESULT found = SHGetKnownFolderPath(ids[i], KF_FLAG_DONT_VERIFY, nullptr, &path);
    const fw::CoTaskMemory ownedPath(path);
    names += name + (SUCCEEDED(found) && path ? "=" + winscratch::Gbk(path) : std::string(" (no path)")) + "; ";
    if (FAILED(found) || !path) continue;
    const auto parsed = fw::FullPath::Parse(fw::AsUtf16(path));
    if (!parsed) continue;  // a virtual folder
    ++withPath;
    EXPECT_TRUE(guard.Refuses(*parsed)) << name << " " << winscratch::Gbk(path);
  }
  std::printf("known folders registered: %u, with a path: %d; documented default places: %zu\n%s\n", count, withPath,
              removal::KnownFolderDefaults().size(), names.c_str());
  EXPECT_GT(withPath, 10);
  CoUninitialize();
}

// The x86 remover on 64-bit Windows sees the 32-bit view (WoW64): Program Files is "Program Files
// (x86)" for it and System32 is SysWOW64. The 64-bit Program Files, the real System32 under its
// Sysnative alias, and SysWOW64 are guarded all the same. The x86 tests run in a 64-bit prefix,
// so there this is WoW64 for certain; the x64 build checks the folders it sees.
TEST_F(WorkerTest, TheOtherViewsSystemFoldersAreGuardedToo) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  if (sizeof(void*) == 4) {
    ASSERT_TRUE(wow64) << "the x86 tests run in a 64-bit prefix, under WoW64";
  }
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  char sysWow64[MAX_PATH] = {};
  ASSERT_GT(GetSystemWow64DirectoryA(sysWow64, MAX_PATH), 0u) << "a 64-bit prefix has SysWOW64";
  std::vector<std::string> listed = {sysWow64, std::string(windows) + "\\Sysnative", "C:\\Program Files",
                                     "C:\\Program Files\\Common Files"};
  std::vector<std::string> canaries = {std::string(sysWow64) + "\\korvane-canary.txt",
                                       "C:\\Program Files\\korvane-canary.txt",
                                       "C:\\Program Files\\Common Files\\korvane-canary.txt"};
  if (wow64) canaries.push_back(std::string(windows) + "\\Sysnative\\korvane-canary.txt");  // the real System32
  for (const std::string& canary : canaries) WriteFileBytes(canary, "x");
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  payload::RemovalRecords records{{programName_, install_, ""}, {}};
  for (const std::string& folder : listed) records.groups.push_back({folder, {}});
  records.groups.push_back({install_, {In("a.txt")}});
  EXPECT_EQ(Run(records, TRUE), IDOK);
  for (const std::string& canary : canaries) {
    EXPECT_TRUE(Exists(canary)) << canary;
    DeleteFileA(canary.c_str());
  }
  EXPECT_FALSE(Exists(install_));
}

// "Startup" as the Start-menu folder's name names the user's Startup folder inside Programs.
TEST_F(WorkerTest, AStartMenuFolderNameThatIsASystemFolderTouchesNothingThere) {
  const std::string startup = Shell(CSIDL_STARTUP);
  const std::string name = startup.substr(startup.rfind('\\') + 1);
  const std::string link = startup + "\\Zintera.lnk";
  CreateDirectoryA(startup.c_str(), nullptr);
  WriteFileBytes(link, "someone else's");
  Dir(install_);
  WriteFileBytes(In("a.txt"), "x");
  for (const std::string& folderName : {name, std::string("Startup")}) {
    const payload::RemovalRecords records{{folderName, install_, ""}, {{"", {In("a.txt")}}}};
    EXPECT_EQ(Run(records, TRUE), IDOK);
    EXPECT_TRUE(Exists(link)) << folderName;
  }
  EXPECT_TRUE(Exists(startup));
  DeleteFileA(link.c_str());
}

// A listed folder whose name is not GBK (it ends in half a character) is shown with what can be
// shown, and never acted on: not even the folder whose name it starts with.
TEST_F(WorkerTest, AFolderThatIsNotGbkIsShownButNeverTouched) {
  Dir(install_);
  Dir(In("d"));
  const payload::RemovalRecords records{{programName_, install_, ""}, {{In("d") + "\x81", {}}}};
  EXPECT_EQ(Run(records, TRUE, 1), IDOK);
  ASSERT_EQ(view_.folders.size(), 1u);
  const std::wstring shown = view_.folders[0];
  EXPECT_EQ(shown.substr(0, shown.size() - 1), winscratch::W(In("d"))) << "all but the half character shown";
  EXPECT_TRUE(Exists(In("d")));
}

// Entries the installer never writes: relative ("..\x"), drive-relative ("C:x"), rooted ("\x"),
// and full paths with ".." in them. None is taken from the current folder or resolved: each is
// skipped as if absent, in the lists, as the final file and as a group folder.
TEST_F(WorkerTest, EntriesThatAreNotPlainFullPathsAreSkipped) {
  Dir(install_);
  Dir(Path("victims"));
  for (const char* f : {"victim1.txt", "victim2.txt", "victims\\v.txt"}) WriteFileBytes(Path(f), "not the product's");
  WriteFileBytes(In("victim3.txt"), "not the product's");
  WriteFileBytes("C:\\korvane-rooted.txt", "not the product's");
  WriteFileBytes(In("a.txt"), "x");
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  SetCurrentDirectoryA(install_.c_str());  // the remover's current folder is where relative names would land
  const payload::RemovalRecords records{
      {programName_, install_, install_ + "\\..\\victim2.txt"},
      {{"..\\victims", {"..\\victim1.txt", "C:victim3.txt", "\\korvane-rooted.txt", install_ + "\\..\\victim2.txt",
                        install_ + "\\.\\a.txt", Path("victims.\\v.txt")}},
       {install_ + "\\..\\victims", {}},
       // A trailing dot that Windows drops: another name of the folder "victims".
       {Path("victims."), {}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  SetCurrentDirectoryA(cwd);
  for (const std::string& kept : {Path("victim1.txt"), Path("victim2.txt"), Path("victims\\v.txt"), In("victim3.txt"),
                                  std::string("C:\\korvane-rooted.txt"), In("a.txt")})
    EXPECT_TRUE(Exists(kept)) << kept;
  EXPECT_TRUE(view_.events.empty() || view_.events.size() == 3) << "no file status for a skipped entry";
  for (const std::string& event : view_.events) EXPECT_EQ(event.rfind("folder ", 0), 0u) << event;
  DeleteFileA("C:\\korvane-rooted.txt");
}

// Links made from the Linux side (as another program of the user would make them) inside an
// install folder that users may write: a group folder, a resource folder, a listed file and the
// final file below such a link, leading to a folder outside the product and into system32.
class PlantedLinksTest : public WorkerTest {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    Clear();
    install_ = kRoot + "\\Korvane";
    for (const std::string& d : {kRoot, install_, kRoot + "\\outside", kRoot + "\\outside\\proj", kSystemCanary}) Dir(d);
    for (int i = 0; i < 8; ++i) WriteFileBytes(kRoot + "\\outside\\proj\\p" + std::to_string(i) + ".dat", "not the product's");
    for (const char* f : {"keep0.txt", "final.txt"}) WriteFileBytes(kRoot + "\\outside\\" + f, "not the product's");
    WriteFileBytes(kSystemCanary + "\\x.dll", "the system's");
    WriteFileBytes(In("own.txt"), "x");
    const std::string installUnix = unixside::UnixPath(winscratch::W(install_));
    const std::string systemUnix = unixside::UnixPath(winscratch::W(Shell(CSIDL_SYSTEM)));
    ASSERT_FALSE(installUnix.empty()) << "not under Wine: no Linux side to make links from";
    std::string script = "cd " + unixside::Quoted(installUnix);
    for (const char* outside : {"hist", "skins", "cache"}) script += std::string(" && ln -s ../outside ") + outside;
    for (const char* system : {"plugins", "sys"}) script += " && ln -s " + unixside::Quoted(systemUnix) + " " + system;
    ASSERT_TRUE(unixside::Run(script)) << "the links were not made";
    WriteFileBytes(In("Resource.ini"), "[Resources]\r\nres_skins\\proj=1\r\nres_sys\\korvane-planted=1\r\n");
  }
  void TearDown() override {
    Clear();
    RemoveDirectoryA(kSystemCanary.c_str());
    WorkerTest::TearDown();
  }
  // The links go on the Linux side, which never follows them.
  void Clear() {
    const std::string root = unixside::UnixPath(winscratch::W(kRoot));
    if (!root.empty()) unixside::Run("rm -rf " + unixside::Quoted(root));
    DeleteFileA((kSystemCanary + "\\x.dll").c_str());
  }
  void ExpectOutsideUntouched() {
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(Exists(kRoot + "\\outside\\proj\\p" + std::to_string(i) + ".dat")) << i;
    EXPECT_TRUE(Exists(kRoot + "\\outside\\keep0.txt"));
    EXPECT_TRUE(Exists(kRoot + "\\outside\\final.txt"));
    EXPECT_TRUE(Exists(kSystemCanary + "\\x.dll"));
  }

  const std::string kRoot = "C:\\korvane-planted";
  const std::string kSystemCanary = Shell(CSIDL_SYSTEM) + "\\korvane-planted";
};

TEST_F(PlantedLinksTest, NoPathLeadsThroughALinkInTheInstallFolder) {
  ASSERT_TRUE(Exists(In("hist\\proj\\p0.dat"))) << "the link leads outside";
  const payload::RemovalRecords records{{programName_, install_ + "\\", In("cache\\final.txt")},
                                        {{In("hist\\proj"), {In("cache\\keep0.txt"), In("own.txt")}},
                                         {In("plugins\\korvane-planted"), {In("sys\\korvane-planted\\x.dll")}}}};
  for (const BOOL history : {FALSE, TRUE}) {
    SCOPED_TRACE(history ? "是" : "否");
    view_.events.clear();
    WriteFileBytes(In("Resource.ini"), "[Resources]\r\nres_skins\\proj=1\r\nres_sys\\korvane-planted=1\r\n");
    EXPECT_EQ(Run(records, history), IDOK);
    ExpectOutsideUntouched();
    EXPECT_FALSE(Exists(In("own.txt"))) << "the product's own file still goes";
    EXPECT_FALSE(Exists(In("Resource.ini")));
  }
  EXPECT_EQ(std::count(view_.events.begin(), view_.events.end(), "file " + In("cache\\keep0.txt")), 0)
      << "a file reached only through a link is not found";
}

}  // namespace

namespace {

// File links, made from the Linux side, in the places of the product's files: a listed file, the
// final file, "Resource.ini", a file in a folder the walk removes with "是", the desktop shortcut
// and a Start-menu shortcut. Each leads to a file outside the product. A link is never the
// product's file: the remover deletes at most the link, never the file it leads to. (Wine lists a
// file symlink as a plain file and opens it at its target whatever the flags.)
TEST_F(PlantedLinksTest, FileLinksInTheProductsPlacesNeverCostTheirTargets) {
  Dir(In("walked"));
  WriteFileBytes(In("walked\\own.dat"), "x");
  Dir(userPrograms_);
  std::vector<std::string> victims;
  for (int i = 0; i < 6; ++i) {
    victims.push_back(kRoot + "\\outside\\victim" + std::to_string(i) + ".txt");
    WriteFileBytes(victims.back(), "not the product's");
  }
  const std::string installUnix = unixside::UnixPath(winscratch::W(install_));
  const std::string outsideUnix = unixside::UnixPath(winscratch::W(kRoot + "\\outside"));
  const auto link = [&](const std::string& windowsPath, int victim) {
    const std::string at = unixside::UnixPath(winscratch::W(windowsPath));
    return " && rm -f " + unixside::Quoted(at) + " && ln -s " +
           unixside::Quoted(outsideUnix + "/victim" + std::to_string(victim) + ".txt") + " " + unixside::Quoted(at);
  };
  ASSERT_FALSE(installUnix.empty());
  WriteFileBytes(In("Resource.ini"), "x");
  WriteFileBytes(In("walked\\link.dat"), "x");
  WriteFileBytes(desktopLink_, "x");
  WriteFileBytes(userPrograms_ + "\\Zintera.lnk", "x");
  WriteFileBytes(In("listed.dll"), "x");
  WriteFileBytes(In("final.exe"), "x");
  ASSERT_TRUE(unixside::Run("true" + link(In("listed.dll"), 0) + link(In("final.exe"), 1) + link(In("Resource.ini"), 2) +
                            link(In("walked\\link.dat"), 3) + link(desktopLink_, 4) +
                            link(userPrograms_ + "\\Zintera.lnk", 5)))
      << "the links were not made";
  ASSERT_EQ(testpaths::ReadBytes(In("listed.dll")), "not the product's") << "the link leads outside";

  const payload::RemovalRecords records{{programName_, install_ + "\\", In("final.exe")},
                                        {{In("walked"), {In("listed.dll"), In("own.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  for (const std::string& victim : victims) EXPECT_TRUE(Exists(victim)) << victim << ": deleted through a link";
  EXPECT_FALSE(Exists(In("own.txt"))) << "the product's own file still goes";
  // The shortcut links outside the install folder go on the Linux side too (Wine would delete
  // their targets).
  unixside::Run("rm -f " + unixside::Quoted(unixside::UnixPath(winscratch::W(desktopLink_))) + " " +
                unixside::Quoted(unixside::UnixPath(winscratch::W(userPrograms_ + "\\Zintera.lnk"))));
}

// A link standing where a listed file or the final file should be is found like the file: status
// and progress advance for it. A link to a folder stays a folder entry: never walked, never
// deleted by these steps, its target untouched; the bar ends full.
TEST_F(PlantedLinksTest, ALinkWhereAListedFileStandsIsCountedAndItsTargetKept) {
  const payload::RemovalRecords records{{programName_, install_ + "\\", In("skins")},
                                        {{"", {In("hist"), In("own.txt")}}}};
  EXPECT_EQ(Run(records, TRUE), IDOK);
  EXPECT_NE(std::find(view_.events.begin(), view_.events.end(), "file " + In("hist")), view_.events.end());
  EXPECT_EQ(view_.current, 200) << "every listed entry was found";
  EXPECT_FALSE(Exists(In("own.txt")));
  EXPECT_TRUE(Exists(In("hist\\keep0.txt"))) << "the folder link is left as it is";
  ExpectOutsideUntouched();
}

// A group folder written as a device path ("\\?\C:\...", "\\.\C:\...") is another name of a plain
// one. It is never walked, and the guard and the rule against links in the install folder hold
// for it as for its plain form: an empty guarded folder stays, and so does an empty folder outside
// the product reached through a link planted in the install folder.
TEST_F(PlantedLinksTest, DevicePathGroupsKeepGuardedFoldersAndFollowNoPlantedLink) {
  const std::string savedGames = Shell(CSIDL_PROFILE) + "\\Saved Games";  // a known folder with no CSIDL
  Dir(kRoot + "\\outside\\emptied");
  ASSERT_TRUE(Exists(In("hist\\emptied"))) << "the link leads outside";
  for (const char* prefix : {"\\\\?\\", "\\\\.\\"}) {
    SCOPED_TRACE(prefix);
    CreateDirectoryA(savedGames.c_str(), nullptr);
    ASSERT_TRUE(RemoveDirectoryA(savedGames.c_str()) && CreateDirectoryA(savedGames.c_str(), nullptr))
        << savedGames << " must be empty for this test";
    WriteFileBytes(In("own.txt"), "x");
    const payload::RemovalRecords records{
        {programName_, install_ + "\\", ""},
        {{prefix + savedGames, {}}, {prefix + In("hist\\emptied"), {}}, {install_, {In("own.txt")}}}};
    EXPECT_EQ(Run(records, TRUE), IDOK);
    EXPECT_TRUE(Exists(savedGames)) << "a guarded folder removed under its device name";
    EXPECT_TRUE(Exists(kRoot + "\\outside\\emptied")) << "removed through a link in the install folder";
    EXPECT_FALSE(Exists(In("own.txt")));
    CreateDirectoryA((kRoot + "\\outside\\emptied").c_str(), nullptr);
  }
}

}  // namespace
