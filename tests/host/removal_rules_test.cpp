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

TEST(FolderGuardTest, RootsAndSystemFoldersAreGuarded) {
  const FolderGuard guard{{"C:\\windows", "C:\\windows\\system32", "C:\\Program Files", "C:\\users\\root\\Temp\\"},
                          "C:\\users"};
  for (const char* path : {"C:\\", "C:", "c:\\\\", "D:\\", "\\\\server\\share", "\\\\server\\share\\", "\\\\server",
                           "\\\\?\\C:\\x", "\\\\.\\PhysicalDrive0", "C:\\WINDOWS", "c:\\windows\\System32\\",
                           "C:\\program files", "C:\\Users", "C:\\users\\alice", "C:\\users\\root",
                           "C:\\users\\root\\Temp", "relative\\folder", ""}) {
    EXPECT_TRUE(IsGuardedFolder(path, guard)) << path;
  }
  for (const char* path : {"C:\\Program Files\\Korvane", "C:\\users\\root\\Temp\\korvane", "\\\\server\\share\\Korvane",
                           "C:\\windows2", "C:\\users\\alice\\AppData\\Korvane"}) {
    EXPECT_FALSE(IsGuardedFolder(path, guard)) << path;
  }
}

TEST(FolderNames, ProgramFolderNameIsASingleName) {
  EXPECT_TRUE(uninstaller::IsSingleFolderName("Korvane"));
  EXPECT_TRUE(uninstaller::IsSingleFolderName("\x81\x5C"));  // 乗: trail byte 0x5C
  for (const char* name : {"", ".", "..", "a\\b", "..\\Startup", "a/b", "C:x"})
    EXPECT_FALSE(uninstaller::IsSingleFolderName(name)) << name;
}

}  // namespace
