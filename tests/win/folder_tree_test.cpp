// Folder-tree removal against the real file system of the Wine prefix: the walk, the guard under
// every name of a guarded folder, and links made from the Linux side, before and during a walk.
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "FolderTree.h"
#include "ListedFiles.h"
#include "Removal.h"
#include "ShellServices.h"
#include "SystemGuard.h"
#include "UnixSide.h"
#include "WideText.h"
#include "WinScratch.h"

namespace {

// A walk of the folder `path` (GBK), as the remover walks a listed folder: parsed where the
// records give it; one that is no full path is never acted on.
BOOL RemoveFolderTree(const std::string& path, BOOL deleteFiles,
                      const remover::WalkSystem& system = remover::SystemWalk()) {
  const auto parsed = fw::FullPath::Parse(fw::AsUtf16(winscratch::W(path)));
  if (!parsed) return FALSE;
  return remover::RemoveFolderTree(*parsed, deleteFiles, remover::RemovalScope(remover::SystemFolderGuard(), std::nullopt),
                                   system);
}
using winscratch::Exists;
using winscratch::WriteFileBytes;

std::string Shell(int csidl) { return winscratch::Gbk(remover::SystemShell().FolderPath(csidl)); }

std::string UnixPath(const std::string& windowsPath) {
  return unixside::UnixPath(std::wstring(windowsPath.begin(), windowsPath.end()));
}

class FolderTreeTest : public winscratch::ScratchDir {};

TEST_F(FolderTreeTest, PostOrderWithAndWithoutFiles) {
  for (const char* d : {"t", "t\\a", "t\\a\\b", "t\\empty", "t\\empty\\deeper", "t\\ro"})
    ASSERT_TRUE(CreateDirectoryA(Path(d).c_str(), nullptr));
  WriteFileBytes(Path("t\\a\\b\\f.txt"), "x");
  WriteFileBytes(Path("t\\ro\\locked.txt"), "x");
  SetFileAttributesA(Path("t\\ro\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_FALSE(RemoveFolderTree(Path("t"), FALSE));
  EXPECT_TRUE(Exists(Path("t\\a\\b\\f.txt")));
  EXPECT_FALSE(Exists(Path("t\\empty"))) << "empty branches go even without deleting files";

  EXPECT_FALSE(RemoveFolderTree(Path("t") + "\\", TRUE)) << "the read-only file keeps its folders";
  EXPECT_FALSE(Exists(Path("t\\a")));
  EXPECT_TRUE(Exists(Path("t\\ro\\locked.txt")));

  SetFileAttributesA(Path("t\\ro\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(RemoveFolderTree(Path("t"), TRUE));
  EXPECT_FALSE(Exists(Path("t")));
  EXPECT_FALSE(RemoveFolderTree(Path("t"), TRUE)) << "absent";
}

TEST_F(FolderTreeTest, RefusesEmptyRelativeAndGuardedPaths) {
  WriteFileBytes(Path("keep.txt"), "x");
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  SetCurrentDirectoryA(dir_.c_str());
  EXPECT_FALSE(RemoveFolderTree("", TRUE));
  EXPECT_FALSE(RemoveFolderTree(".", TRUE));
  SetCurrentDirectoryA(cwd);
  EXPECT_TRUE(Exists(Path("keep.txt")));
  EXPECT_FALSE(RemoveFolderTree(dir_ + "\\..", TRUE)) << "the temporary folder itself";
  EXPECT_TRUE(Exists(Path("keep.txt")));
}

// A guarded folder under its short (8.3) name is still guarded: Program Files and ProgramData,
// with a canary that a walk would delete.
TEST_F(FolderTreeTest, GuardedFoldersUnderTheirShortNamesSurvive) {
  const std::string programFiles = Shell(CSIDL_PROGRAM_FILES);
  const std::string canary = programFiles + "\\korvane-canary.txt";
  WriteFileBytes(canary, "x");
  for (const std::string& guarded : {programFiles, Shell(CSIDL_COMMON_APPDATA)}) {
    char alias[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(guarded.c_str(), alias, MAX_PATH), 0u) << guarded;
    ASSERT_NE(std::string(alias), guarded) << "the prefix gives no short name to compare";
    EXPECT_FALSE(RemoveFolderTree(alias, TRUE)) << alias;
  }
  EXPECT_TRUE(Exists(canary));
  DeleteFileA(canary.c_str());
}

// On Windows the final path of a folder reached through \\localhost\C$ (or ADMIN$) stays a UNC path,
// which no guarded name matches; Wine resolves it to C:\. The seam answers as Windows would: such
// a folder is never walked, and goes only when it is empty.
struct FinalPathOnAShare : remover::WalkSystem {
  std::wstring FinalPath(const fw::FileObject&) const override { return L"\\\\localhost\\C$\\Windows\\System32\\x"; }
  std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const override { return folder.List(); }
  bool IsSystemComponent(const fw::FileObject&) const override { return false; }
};

TEST_F(FolderTreeTest, AFolderWhoseFinalPathIsOnAShareGoesOnlyWhenEmpty) {
  for (const char* d : {"full", "full\\empty", "empty"}) ASSERT_TRUE(CreateDirectoryA(Path(d).c_str(), nullptr));
  WriteFileBytes(Path("full\\f.txt"), "x");
  EXPECT_FALSE(RemoveFolderTree(Path("full"), TRUE, FinalPathOnAShare()));
  EXPECT_TRUE(Exists(Path("full\\f.txt")));
  EXPECT_TRUE(Exists(Path("full\\empty"))) << "not walked at all";
  EXPECT_TRUE(RemoveFolderTree(Path("empty"), TRUE, FinalPathOnAShare()));
  EXPECT_FALSE(Exists(Path("empty")));
}

// Windows' own components are owned by TrustedInstaller; under Wine every file is the user's. The
// seam answers as Windows would for folders whose name says "component": such a folder is never
// walked, neither as a listed folder nor met on the way, whatever the answer.
struct ComponentsByName : remover::WalkSystem {
  std::wstring FinalPath(const fw::FileObject& folder) const override { return folder.FinalPath(); }
  std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const override { return folder.List(); }
  bool IsSystemComponent(const fw::FileObject& folder) const override {
    return folder.FinalPath().find(L"component") != std::wstring::npos;
  }
};

TEST_F(FolderTreeTest, WindowsComponentsAreNeverWalked) {
  for (const char* d : {"t", "t\\own", "t\\component", "t\\component\\empty", "component"})
    ASSERT_TRUE(CreateDirectoryA(Path(d).c_str(), nullptr));
  for (const char* f : {"t\\own\\f.txt", "t\\component\\f.txt", "component\\f.txt"}) WriteFileBytes(Path(f), "x");
  EXPECT_FALSE(RemoveFolderTree(Path("t"), TRUE, ComponentsByName()));
  EXPECT_FALSE(Exists(Path("t\\own")));
  EXPECT_TRUE(Exists(Path("t\\component\\f.txt")));
  EXPECT_TRUE(Exists(Path("t\\component\\empty"))) << "not entered at all";
  EXPECT_FALSE(RemoveFolderTree(Path("component"), TRUE, ComponentsByName()));
  EXPECT_TRUE(Exists(Path("component\\f.txt")));
  // What Wine shows of ownership: the system's walk finds no component here.
  EXPECT_TRUE(RemoveFolderTree(Path("t"), TRUE));
}

// The scope's rule for a link below a drive's root, through the facts it reads by handle (owner and
// access lists): Wine makes every file the user's, so only this seam shows an administrator's link.
TEST(LinkTrust, AnAdministratorsFolderInTheRootThatUsersMayChangeIsNotFollowed) {
  const remover::RemovalScope scope(remover::SystemFolderGuard(), fw::FullPath::Parse(u"C:\\Apps\\Korvane"));
  const std::vector<fw::AccessEntry> root = {{true, true, false, 0x1F01FF}, {true, false, false, 0x1200A9},
                                             {true, false, false, 0x4}, {true, false, true, 0x1301BF}};
  const std::vector<fw::AccessEntry> systemLink = {{true, true, false, 0x1F01FF}, {true, false, false, 0x1200A9}};
  const std::vector<fw::AccessEntry> madeByAnAdministrator = {{true, true, false, 0x1F01FF}, {true, false, false, 0x1301BF}};
  const auto documents = *fw::FullPath::Parse(u"C:\\Documents and Settings");
  EXPECT_TRUE(scope.MayFollow(documents, {true, systemLink, root}));
  EXPECT_FALSE(scope.MayFollow(documents, {false, systemLink, root})) << "a user's link";
  // The install folder's parent, made by an administrator, turned into a junction by a user.
  EXPECT_FALSE(scope.MayFollow(*fw::FullPath::Parse(u"C:\\Apps"), {true, madeByAnAdministrator, root}));
  EXPECT_FALSE(scope.MayFollow(*fw::FullPath::Parse(u"C:\\Apps\\Korvane"), {true, systemLink, root}))
      << "the install folder itself";
  EXPECT_FALSE(scope.MayFollow(*fw::FullPath::Parse(u"C:\\x\\y"), {true, systemLink, root})) << "a place users write";

  // What Wine shows: the access lists can be read by handle, and a folder is the user's.
  const fw::FileObject drive = fw::FileObject::OpenFolder(L"C:\\");
  ASSERT_TRUE(drive);
  const auto list = drive.AccessList();
  std::printf("C:\\ under Wine: owner %d, %s\n", static_cast<int>(drive.Owner()),
              list ? (std::to_string(list->size()) + " access entries").c_str() : "no access list");
}

// Links made from the Linux side before this binary runs (tests/win/make-links.sh):
//   C:\korvane-links\Korvane\linked -> ..\outside, C:\korvane-links\toplink -> outside,
//   C:\Documents and Settings -> users, C:\korvane-links\Relinked\data -> C:\users.
// A missing fixture fails the test: a security check that did not run has not passed.
const std::string kLinks = "C:\\korvane-links";

TEST(FolderTreeLinks, LinksAreRemovedButNeverEntered) {
  ASSERT_TRUE(Exists(kLinks + "\\outside\\precious.txt")) << "link fixture missing";
  // A listing shows the link itself (GetFileAttributes would follow it under Wine).
  WIN32_FIND_DATAA listed;
  const HANDLE search = FindFirstFileA((kLinks + "\\Korvane\\linked").c_str(), &listed);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  ASSERT_TRUE(listed.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << "Wine shows the symlink as a reparse point";

  RemoveFolderTree(kLinks + "\\Korvane", TRUE);
  RemoveFolderTree(kLinks + "\\toplink\\", TRUE);
  EXPECT_TRUE(Exists(kLinks + "\\outside\\precious.txt"));
  EXPECT_TRUE(Exists(kLinks + "\\outside\\sub\\deep.txt"));
  EXPECT_FALSE(Exists(kLinks + "\\Korvane\\own.txt"));
}

// "C:\Documents and Settings" is another name of the Users folder: a profile listed through it is
// still a profile root, and a folder in a parent that became a link to the Users folder is judged
// by where it really is.
TEST(FolderTreeLinks, GuardedFoldersReachedThroughALinkSurvive) {
  ASSERT_TRUE(Exists("C:\\Documents and Settings")) << "link fixture missing";
  ASSERT_TRUE(Exists(kLinks + "\\Relinked\\data\\Public")) << "link fixture missing";
  const std::string profile = Shell(CSIDL_PROFILE);
  const std::string user = profile.substr(profile.rfind('\\') + 1);
  const std::string temp = Shell(CSIDL_PROFILE) + "\\Temp";
  const std::string canaries[] = {profile + "\\korvane-canary.txt", Shell(CSIDL_COMMON_DOCUMENTS) + "\\..\\korvane-canary.txt",
                                  temp + "\\korvane-canary.txt"};
  for (const std::string& canary : canaries) WriteFileBytes(canary, "x");

  for (const std::string& listed :
       {"C:\\Documents and Settings\\" + user, std::string("C:\\Documents and Settings\\Public"), std::string("C:\\Documents and Settings"),
        kLinks + "\\Relinked\\data\\Public", kLinks + "\\Relinked\\data\\" + user, kLinks + "\\Relinked\\data\\" + user + "\\Temp",
        kLinks + "\\Relinked\\data"}) {
    SCOPED_TRACE(listed);
    EXPECT_FALSE(RemoveFolderTree(listed, TRUE));
  }
  for (const std::string& canary : canaries) {
    EXPECT_TRUE(Exists(canary)) << canary;
    DeleteFileA(canary.c_str());
  }
}

// The moment a name-based walk can be steered: a folder listed as a plain folder is replaced by a
// link to someone else's folder before the walk opens it. The seam runs the swap on the Linux side
// right after the top folder was listed.
class SwapDuringWalk : public winscratch::ScratchDir {
 protected:
  // The system's walk, but the first listing is followed by the swap.
  struct SwapAfterFirstListing : remover::WalkSystem {
    std::wstring FinalPath(const fw::FileObject& folder) const override { return folder.FinalPath(); }
    std::vector<fw::FolderEntry> List(const fw::FileObject& folder) const override {
      std::vector<fw::FolderEntry> entries = folder.List();
      if (!swapScript_.empty()) {
        swapped_ = unixside::Run(swapScript_);
        swapScript_.clear();
      }
      return entries;
    }
    bool IsSystemComponent(const fw::FileObject&) const override { return false; }
  };
  // The link is removed on the Linux side (which never follows it), before and after the test.
  void SetUp() override {
    ClearOnLinuxSide();
    ScratchDir::SetUp();
  }
  void TearDown() override { ClearOnLinuxSide(); }
  void ClearOnLinuxSide() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string unix = UnixPath(std::string(temp) + "korvane-" + info->test_suite_name() + "-" + info->name());
    if (!unix.empty()) unixside::Run("rm -rf " + unixside::Quoted(unix));
  }
  static inline std::string swapScript_;
  static inline bool swapped_ = false;
};

TEST_F(SwapDuringWalk, AFolderSwappedForALinkAfterItsListingIsNeverEntered) {
  // The product's tree, and a sentinel folder whose content has the same names as the folder
  // that will be swapped for a link to it.
  for (const char* d : {"tree", "tree\\a", "tree\\b", "tree\\b\\deep", "sentinel", "sentinel\\deep"})
    ASSERT_TRUE(CreateDirectoryA(Path(d).c_str(), nullptr));
  for (const char* f : {"tree\\a\\1.dat", "tree\\b\\2.dat", "tree\\b\\deep\\3.dat", "sentinel\\2.dat", "sentinel\\deep\\3.dat",
                        "sentinel\\mine.txt"})
    WriteFileBytes(Path(f), "x");
  const std::string tree = UnixPath(Path("tree"));
  ASSERT_FALSE(tree.empty()) << "not under Wine: no Linux side to make links from";
  swapScript_ = "mv " + unixside::Quoted(tree + "/b") + " " + unixside::Quoted(UnixPath(Path("b-moved"))) + " && ln -s " +
                unixside::Quoted(UnixPath(Path("sentinel"))) + " " + unixside::Quoted(tree + "/b");
  swapped_ = false;

  RemoveFolderTree(Path("tree"), TRUE, SwapAfterFirstListing());
  ASSERT_TRUE(swapped_) << "the swap did not run";

  for (const char* f : {"sentinel\\2.dat", "sentinel\\deep\\3.dat", "sentinel\\mine.txt"})
    EXPECT_TRUE(Exists(Path(f))) << f << ": the walk followed the link";
  EXPECT_FALSE(Exists(Path("tree\\a"))) << "the rest of the tree still goes";
  EXPECT_TRUE(Exists(Path("b-moved\\deep\\3.dat"))) << "the folder moved away was not listed: it stays";
}

// Wine opens a file symlink at its target, and the name it gives the opened file is the target's
// path: a target whose path differs from the link's only in case is another file all the same.
TEST_F(SwapDuringWalk, AFileLinkToAPathDifferingOnlyInCaseKeepsItsTarget) {
  for (const char* d : {"tree", "tree\\data"}) ASSERT_TRUE(CreateDirectoryA(Path(d).c_str(), nullptr));
  WriteFileBytes(Path("tree\\data\\own.txt"), "x");
  const std::string tree = UnixPath(Path("tree"));
  ASSERT_FALSE(tree.empty()) << "not under Wine: no Linux side to make links from";
  const std::string victim = UnixPath(Path("")) + "/TREE/data";
  ASSERT_TRUE(unixside::Run("mkdir -p " + unixside::Quoted(victim) + " && echo victim > " + unixside::Quoted(victim + "/a.txt") +
                            " && ln -s ../../TREE/data/a.txt " + unixside::Quoted(tree + "/data/a.txt")));

  RemoveFolderTree(Path("tree"), TRUE);
  EXPECT_TRUE(unixside::Run("test -f " + unixside::Quoted(victim + "/a.txt"))) << "the link's target was deleted";
  EXPECT_FALSE(unixside::Run("test -e " + unixside::Quoted(tree + "/data/own.txt"))) << "the product's own file still goes";
}

// A folder that tells case apart (Linux under Wine; Windows, where a folder is made so) may hold a
// user's "KORVANE.EXE" beside the listed "Korvane.exe": the listed one goes, the other stays.
TEST_F(FolderTreeTest, AListedFileIsTheOneSpeltSoWhereCaseTellsFilesApart) {
  ASSERT_TRUE(CreateDirectoryA(Path("product").c_str(), nullptr));
  const std::string product = UnixPath(Path("product"));
  ASSERT_FALSE(product.empty()) << "not under Wine: no Linux side to make the files from";
  ASSERT_TRUE(unixside::Run("cd " + unixside::Quoted(product) + " && echo user > KORVANE.EXE && echo own > Korvane.exe"));

  {
    const remover::RemovalScope scope(remover::SystemFolderGuard(), std::nullopt);
    remover::ListedFiles files(scope);
    ASSERT_TRUE(files.Delete(*fw::FullPath::Parse(fw::AsUtf16(winscratch::W(Path("product\\Korvane.exe"))))));
  }
  EXPECT_TRUE(unixside::Run("test -f " + unixside::Quoted(product + "/KORVANE.EXE"))) << "the user's file was deleted";
  EXPECT_FALSE(unixside::Run("test -e " + unixside::Quoted(product + "/Korvane.exe"))) << "the listed file stays";
}

}  // namespace
