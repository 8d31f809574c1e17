#include <gtest/gtest.h>

#include "RemovalRules.h"

namespace {

using uninstaller::FolderGuard;
using uninstaller::IsGuardedFolder;
using uninstaller::ResourceFolderFromLine;

const std::string kInstall = "C:\\Program Files\\Korvane\\";

TEST(ResourceIni, KeyWithoutItsFirstFourBytesNamesAFolderInside) {
  EXPECT_EQ(ResourceFolderFromLine("res_Skins=1", kInstall), kInstall + "Skins");
  EXPECT_EQ(ResourceFolderFromLine("res_Skins\\Dark=", kInstall), kInstall + "Skins\\Dark");
  EXPECT_EQ(ResourceFolderFromLine("abcdX=a=b", kInstall), kInstall + "X") << "the first '=' ends the key";
  EXPECT_EQ(ResourceFolderFromLine(" \tabX y =", kInstall), kInstall + "X y ") << "nothing is trimmed";
  // A GBK name whose trail byte is 0x5C is a name, not a separator.
  EXPECT_EQ(ResourceFolderFromLine("res_\x81\x5C=1", kInstall), kInstall + "\x81\x5C");
}

TEST(ResourceIni, LinesThatNameNothing) {
  for (const char* line : {"[Resources]", "", "; comment", "res_Skins", "=x", "abcd=1", "abc=1"}) {
    EXPECT_FALSE(ResourceFolderFromLine(line, kInstall)) << line;
  }
}

TEST(ResourceIni, RemaindersThatWouldLeaveTheInstallFolderNameNothing) {
  for (const char* line : {"res_..=1", "res_..\\..\\Windows=1", "res_Skins\\..\\..=1", "res_\\Windows=1",
                           "res_\\\\server\\share=1", "res_C:\\Windows=1", "res_C:Windows=1", "res_../x=1",
                           "res_Skins/..=1", "res_.=1", "res_.\\.=1", "res_\\=1", "res_ .. =1", "res_...=1",
                           "res_Sk*ns=1", "res_Skins?=1", "res_a|b=1"}) {
    EXPECT_FALSE(ResourceFolderFromLine(line, kInstall)) << line;
  }
  // Dots inside a name are fine.
  EXPECT_EQ(ResourceFolderFromLine("res_v1.2=1", kInstall), kInstall + "v1.2");
  EXPECT_EQ(ResourceFolderFromLine("res_.cache=1", kInstall), kInstall + ".cache");
}

// An install folder written with '/' is a full path like any other; the lines keep refusing '/'.
TEST(ResourceIni, SlashInstallFolderJoinsButSlashLinesNameNothing) {
  const std::string slashed = "C:/Program Files/Korvane/";
  EXPECT_EQ(ResourceFolderFromLine("res_Skins=1", slashed), slashed + "Skins");
  EXPECT_EQ(ResourceFolderFromLine("res_Skins\\Dark=1", slashed), slashed + "Skins\\Dark");
  for (const char* line : {"res_Skins/Dark=1", "res_/Windows=1", "res_//server/share=1", "res_Skins/=1"})
    EXPECT_FALSE(ResourceFolderFromLine(line, slashed)) << line;
}

TEST(Progress, IsFloorOfDeletedTimes200OverTotalIn32Bits) {
  EXPECT_EQ(uninstaller::ProgressValue(0, 3), 0);
  EXPECT_EQ(uninstaller::ProgressValue(1, 3), 66);
  EXPECT_EQ(uninstaller::ProgressValue(3, 3), 200);
  EXPECT_EQ(uninstaller::ProgressValue(5, 3), 333) << "more files found than counted: past full";
  EXPECT_EQ(uninstaller::ProgressValue(199, 200), 199);
  // 21474837 x 200 wraps in 32 bits, as the bar's value always did.
  EXPECT_EQ(uninstaller::ProgressValue(21474837u, 21474837u), static_cast<std::int32_t>(4294967400ull % 4294967296ull / 21474837u));
  EXPECT_EQ(uninstaller::ProgressValue(1, 0), 0);
}

// The guard as the remover builds it: system folders in several forms, and the running
// account's folders inside its profile C:\users\root.
FolderGuard TestGuard() {
  return uninstaller::MakeFolderGuard({u"C:\\windows", u"C:\\windows\\system32", u"C:\\Program Files", u"C:\\PROG~FBU",
                                       u"C:\\users\\root\\Temp\\", u"C:\\users\\root\\Desktop",
                                       u"C:\\users\\root\\AppData\\Roaming", u"Z:\\home\\root\\Desktop"},
                                      {u"C:\\users\\root", u"C:\\Documents and Settings\\root"});
}

// Windows reads '/' as '\\': a folder listed with '/', or with both, is guarded as the same folder.
TEST(FolderGuardTest, SlashWrittenFoldersAreGuardedLikeBackslashOnes) {
  const FolderGuard guard = TestGuard();
  for (const char16_t* path : {u"C:/", u"c:/windows", u"C:\\Windows/", u"C:/windows\\system32/", u"c:/prog~fbu/",
                               u"C:/users/root/Temp/", u"C:/Users/", u"C:/users/alice/Desktop", u"//server/share/",
                               u"/\\server\\share", u"//?/C:/x"}) {
    EXPECT_TRUE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
  for (const char16_t* path : {u"C:/Program Files/Korvane/", u"C:/windows2", u"//server/share/Korvane"}) {
    EXPECT_FALSE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
}

TEST(FolderGuardTest, RootsAndSystemFoldersAreGuarded) {
  const FolderGuard guard = TestGuard();
  for (const char16_t* path : {u"C:\\", u"C:", u"c:\\\\", u"D:\\", u"\\\\server\\share", u"\\\\server\\share\\", u"\\\\server",
                               u"//server/share", u"\\\\?\\C:\\x", u"\\\\.\\PhysicalDrive0", u"C:\\WINDOWS",
                               u"c:\\windows\\System32\\", u"C:/Windows/", u"C:\\program files", u"c:\\prog~fbu", u"C:\\Users",
                               u"C:\\users\\alice", u"C:\\users\\root", u"C:\\users\\root\\Temp",
                               u"C:\\Documents and Settings", u"relative\\folder", u"\\rooted", u""}) {
    EXPECT_TRUE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
  for (const char16_t* path : {u"C:\\Program Files\\Korvane", u"C:\\users\\root\\Temp\\korvane",
                               u"\\\\server\\share\\Korvane", u"C:\\windows2", u"C:\\users\\alice\\AppData\\Korvane",
                               u"C:\\users\\alice\\Desktop\\Korvane", u"C:\\usersX\\alice"}) {
    EXPECT_FALSE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
}

// Elevated as another account, the remover still knows the signed-in user's Desktop and
// AppData: a folder guarded inside its own profile is guarded inside every profile.
TEST(FolderGuardTest, ProfileFoldersAreGuardedInEveryProfile) {
  const FolderGuard guard = TestGuard();
  for (const char16_t* path : {u"C:\\users\\alice\\Desktop", u"c:/users/alice/appdata/roaming/", u"C:\\users\\bob\\Temp",
                               u"C:\\Documents and Settings\\alice\\Desktop", u"C:\\Documents and Settings\\alice"}) {
    EXPECT_TRUE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
  // Only the same relative path: inside those folders, and the profile's other folders, are not.
  for (const char16_t* path : {u"C:\\users\\alice\\AppData", u"C:\\users\\alice\\Desktop\\old",
                               u"C:\\users\\alice\\Korvane\\Desktop"}) {
    EXPECT_FALSE(IsGuardedFolder(path, guard)) << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
  // A profile at a drive's root has no profiles folder: not every folder at C:\ is guarded.
  const FolderGuard rootProfile = uninstaller::MakeFolderGuard({u"C:\\root\\Desktop"}, {u"C:\\root"});
  EXPECT_TRUE(IsGuardedFolder(u"C:\\root", rootProfile));
  EXPECT_FALSE(IsGuardedFolder(u"C:\\Korvane", rootProfile));
}

TEST(FolderNames, ProgramFolderNameIsASingleName) {
  EXPECT_TRUE(uninstaller::IsSingleFolderName("Korvane"));
  EXPECT_TRUE(uninstaller::IsSingleFolderName("\x81\x5C"));  // 乗: trail byte 0x5C
  for (const char* name : {"", ".", "..", "a\\b", "..\\Startup", "a/b", "C:x"})
    EXPECT_FALSE(uninstaller::IsSingleFolderName(name)) << name;
}

}  // namespace
