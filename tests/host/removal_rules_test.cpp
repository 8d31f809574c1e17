#include <gtest/gtest.h>

#include <vector>

#include "AccessList.h"
#include "FolderGuard.h"
#include "FullPath.h"
#include "RemovalRules.h"

namespace {

using removal::FolderGuard;
using removal::ResourceFolderFromLine;

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
  EXPECT_EQ(removal::ProgressValue(0, 3), 0);
  EXPECT_EQ(removal::ProgressValue(1, 3), 66);
  EXPECT_EQ(removal::ProgressValue(3, 3), 200);
  EXPECT_EQ(removal::ProgressValue(5, 3), 333) << "more files found than counted: past full";
  EXPECT_EQ(removal::ProgressValue(199, 200), 199);
  // 21474837 x 200 wraps in 32 bits to 104, as the bar's value always did: all deleted shows 0.
  EXPECT_EQ(removal::ProgressValue(21474837u, 21474837u), 0);
  EXPECT_EQ(removal::ProgressValue(1, 0), 0);
}

// The guard as the remover builds it: system folders in several forms, the running account's
// folders inside its profile C:\users\root, and the Windows folder as a whole tree.
FolderGuard TestGuard() {
  return FolderGuard({u"C:\\windows", u"C:\\windows\\system32", u"C:\\Program Files", u"C:\\Program Files\\Common Files",
                      u"C:\\PROG~FBU", u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", u"C:\\users\\root\\Temp\\",
                      u"C:\\users\\root\\Desktop", u"C:\\users\\root\\AppData\\Roaming",
                      u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
                      u"C:\\users\\root\\Saved Games", u"Z:\\home\\root\\Desktop"},
                     {u"C:\\users\\root", u"C:\\Documents and Settings\\root"}, {u"C:\\windows", u"c:/WINDOWS/"});
}

std::string Narrow(std::u16string_view path) { return std::string(path.begin(), path.end()); }

// A path as the remover takes it, parsed once; text that is no full path is never acted on, as if
// refused.
void ExpectRefused(const FolderGuard& guard, std::initializer_list<const char16_t*> paths, bool refused) {
  for (const char16_t* text : paths) {
    const auto path = fw::FullPath::Parse(text);
    EXPECT_EQ(!path || guard.Refuses(*path), refused) << Narrow(text);
  }
}

// The verdict on a folder known by one or two names; text that is no full path stands for a name
// the system could not give.
removal::FolderVerdict Verdict(const FolderGuard& guard, std::u16string_view text) {
  const auto path = fw::FullPath::Parse(text);
  return guard.Judge({path ? &*path : nullptr}, {});
}
removal::FolderVerdict Verdict(const FolderGuard& guard, std::u16string_view written, std::u16string_view final) {
  const auto path = fw::FullPath::Parse(written);
  const auto finalPath = fw::FullPath::Parse(final);
  return guard.Judge({path ? &*path : nullptr, finalPath ? &*finalPath : nullptr}, {});
}

// Windows reads '/' as '\': a folder listed with '/', or with both, is guarded as the same folder.
TEST(FolderGuardTest, SlashWrittenFoldersAreGuardedLikeBackslashOnes) {
  ExpectRefused(TestGuard(),
                {u"C:/", u"c:/windows", u"C:\\Windows/", u"C:/windows\\system32/", u"c:/prog~fbu/", u"C:/users/root/Temp/",
                 u"C:/Users/", u"C:/users/alice/Desktop", u"//server/share/", u"/\\server\\share", u"//?/C:/windows"},
                true);
  ExpectRefused(TestGuard(), {u"C:/Program Files/Korvane/", u"C:/windows2", u"//server/share/Korvane"}, false);
}

TEST(FolderGuardTest, RootsAndSystemFoldersAreGuarded) {
  ExpectRefused(TestGuard(),
                {u"C:\\", u"C:", u"c:\\\\", u"D:\\", u"\\\\server\\share", u"\\\\server\\share\\", u"\\\\server",
                 u"//server/share", u"\\\\?\\C:\\", u"\\\\.\\PhysicalDrive0", u"C:\\WINDOWS", u"c:\\windows\\System32\\",
                 u"C:/Windows/", u"C:\\program files", u"c:\\prog~fbu", u"C:\\Users", u"C:\\users\\alice", u"C:\\users\\root",
                 u"C:\\users\\root\\Temp", u"C:\\Documents and Settings", u"relative\\folder", u"\\rooted", u"C:rel", u""},
                true);
  ExpectRefused(TestGuard(),
                {u"C:\\Program Files\\Korvane", u"C:\\users\\root\\Temp\\korvane", u"\\\\server\\share\\Korvane",
                 u"C:\\windows2", u"C:\\users\\alice\\AppData\\Korvane", u"C:\\users\\alice\\Desktop\\Korvane",
                 u"C:\\usersX\\alice"},
                false);
}

// A folder that holds a guarded folder would take it along; anything in the Windows tree is the
// system's. Paths with "." or ".." components name another folder than they spell.
TEST(FolderGuardTest, FoldersHoldingAGuardedFolderAndTheWindowsTreeAreGuarded) {
  ExpectRefused(TestGuard(),
                {u"C:\\users\\root\\AppData", u"C:\\Users\\alice\\AppData", u"C:\\users\\bob\\AppData\\Roaming\\Microsoft",
                 u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows", u"C:\\ProgramData\\Microsoft",
                 u"C:\\windows\\system32\\drivers", u"C:\\Windows\\Temp\\x", u"c:/windows/fonts/",
                 u"C:\\users\\alice\\Saved Games", u"C:\\Program Files\\Korvane\\..\\..\\x", u"C:\\Korvane\\.\\x",
                 u"C:\\Korvane\\ ..\\x"},
                true);
  ExpectRefused(TestGuard(),
                {u"C:\\users\\alice\\AppData\\Local\\Korvane", u"C:\\ProgramData\\Korvane",
                 u"C:\\Program Files\\Common Files\\Korvane", u"C:\\Korvane\\v1.2"},
                false);
}

// Elevated as another account, the remover still knows the signed-in user's Desktop and
// AppData: a folder guarded inside its own profile is guarded inside every profile.
TEST(FolderGuardTest, ProfileFoldersAreGuardedInEveryProfile) {
  ExpectRefused(TestGuard(),
                {u"C:\\users\\alice\\Desktop", u"c:/users/alice/appdata/roaming/", u"C:\\users\\bob\\Temp",
                 u"C:\\Documents and Settings\\alice\\Desktop", u"C:\\Documents and Settings\\alice"},
                true);
  // Inside those folders, and the profile's other folders, are not.
  ExpectRefused(TestGuard(), {u"C:\\users\\alice\\Desktop\\old", u"C:\\users\\alice\\Korvane\\Desktop"}, false);
  // A profile at a drive's root has no profiles folder: not every folder at C:\ is guarded.
  const FolderGuard rootProfile({u"C:\\root\\Desktop"}, {u"C:\\root"}, {});
  ExpectRefused(rootProfile, {u"C:\\root"}, true);
  ExpectRefused(rootProfile, {u"C:\\Korvane"}, false);
}

// A share or a device namespace is never walked, whatever name led there; the system's final path
// of a folder reached on a share stays "\\?\UNC\...", which matches no guarded name.
TEST(FolderGuardTest, SharesAndDevicePathsAreRemovedOnlyWhenEmpty) {
  using removal::FolderVerdict;
  const FolderGuard guard = TestGuard();
  const std::u16string_view listed = u"C:\\Program Files\\Korvane\\bin";
  EXPECT_EQ(Verdict(guard, listed), FolderVerdict::Walk);
  for (const std::u16string_view finalPath :
       {u"\\\\localhost\\C$\\Windows\\System32\\x", u"\\\\localhost\\ADMIN$\\x", u"\\\\?\\UNC\\localhost\\C$\\x",
        u"\\\\.\\C:\\x"})
    EXPECT_EQ(Verdict(guard, listed, finalPath), FolderVerdict::OnlyIfEmpty) << Narrow(finalPath);
  // A device path of a drive is judged as the plain path it names, and never walked.
  for (const std::u16string_view written : {u"\\\\?\\C:\\x", u"//?/C:/x", u"\\\\.\\c:\\Program Files\\Korvane"})
    EXPECT_EQ(Verdict(guard, written), FolderVerdict::OnlyIfEmpty) << Narrow(written);
  EXPECT_EQ(Verdict(guard, u"\\\\?\\C:\\Windows\\x"), FolderVerdict::Refuse);
  // A final path that names no drive or share (a volume), or none at all: nothing to judge by.
  EXPECT_EQ(Verdict(guard, listed, u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\x"), FolderVerdict::Refuse);
  EXPECT_EQ(Verdict(guard, listed, u""), FolderVerdict::Refuse);
  EXPECT_EQ(Verdict(guard, u"\\\\server\\share\\Korvane"), FolderVerdict::OnlyIfEmpty);
  EXPECT_EQ(Verdict(guard, u"\\\\server\\share"), FolderVerdict::Refuse) << "a share's root";
  EXPECT_EQ(Verdict(guard, listed, u"C:\\windows\\x"), FolderVerdict::Refuse) << "any refused name refuses";
}

// A folder directly in a drive's root or in a product home is another product's (or the
// system's) unless it is the install folder or inside it, under every name the folder has: never
// walked. Where the guard refuses the install folder, nothing is the product's for it.
TEST(FolderGuardTest, AnotherProductsPlaceIsRemovedOnlyWhenEmpty) {
  using removal::FolderVerdict;
  const FolderGuard guard({u"C:\\Program Files"}, {}, {},
                          {u"C:\\Program Files", u"c:/program files/common files", u"D:\\Apps"});
  const std::vector<std::u16string> install = {u"C:\\PROGRAM FILES\\KORVANE"};
  const auto judge = [&](std::u16string_view written, std::u16string_view final = {},
                         const std::vector<std::u16string>& installFolder = {u"C:\\PROGRAM FILES\\KORVANE"}) {
    const auto path = fw::FullPath::Parse(written);
    const auto finalPath = fw::FullPath::Parse(final.empty() ? written : final);
    return guard.Judge({path ? &*path : nullptr, finalPath ? &*finalPath : nullptr}, installFolder);
  };
  for (const char16_t* other : {u"C:\\Recovery", u"c:/PerfLogs/", u"C:\\Program Files\\Windows Defender",
                                u"C:\\Program Files\\Common Files\\Microsoft Shared", u"D:\\Apps\\Other",
                                u"C:\\Program Files\\Korvane2", u"E:\\Games"})
    EXPECT_EQ(judge(other), FolderVerdict::OnlyIfEmpty) << Narrow(other);
  for (const char16_t* own : {u"C:\\Program Files\\Korvane", u"c:/program files/KORVANE/bin",
                              u"C:\\Program Files\\Korvane\\Common Files\\x", u"C:\\ProgramData\\Korvane",
                              u"C:\\Users\\bob\\AppData\\Local\\Programs\\Korvane", u"D:\\Apps\\Other\\Korvane"})
    EXPECT_EQ(judge(own), FolderVerdict::Walk) << Narrow(own);
  // One name inside the install folder, another (its final path) beside it: not the product's.
  EXPECT_EQ(judge(u"C:\\Program Files\\Korvane\\bin", u"C:\\Other"), FolderVerdict::OnlyIfEmpty);
  // An install folder directly in a root is the product's; with none, a root's folder is not.
  EXPECT_EQ(judge(u"C:\\Apps", {}, {u"C:\\APPS"}), FolderVerdict::Walk);
  EXPECT_EQ(judge(u"C:\\Apps\\Korvane", {}, {}), FolderVerdict::Walk) << "below a root's folder: the guard's to say";
  EXPECT_EQ(judge(u"C:\\Apps", {}, {}), FolderVerdict::OnlyIfEmpty);
  EXPECT_EQ(judge(u"\\\\server\\share\\Korvane", {}, {}), FolderVerdict::OnlyIfEmpty) << "a share, as always";
}

// Links inside a profile may be anybody's; outside, the owner decides (checked by handle).
TEST(FolderGuardTest, EverythingBelowTheProfilesFolderIsInsideAProfile) {
  const FolderGuard guard = TestGuard();
  for (const char16_t* path : {u"C:\\users\\alice", u"C:\\Users\\bob\\Documents\\x", u"C:/users/Public/x"})
    EXPECT_TRUE(guard.IsInsideAProfile(*fw::FullPath::Parse(path))) << Narrow(path);
  for (const char16_t* path : {u"C:\\users", u"C:\\Documents and Settings", u"C:\\Program Files\\Korvane\\x"})
    EXPECT_FALSE(guard.IsInsideAProfile(*fw::FullPath::Parse(path))) << Narrow(path);
}

TEST(FolderGuardTest, GuardedIdentitiesAreKnownWhateverTheName) {
  FolderGuard guard = TestGuard();
  guard.AddIdentity(7, 42);
  EXPECT_TRUE(guard.IsGuardedIdentity(7, 42));
  EXPECT_FALSE(guard.IsGuardedIdentity(8, 42)) << "the same id on another volume is another folder";
}

// Plain full paths come apart into a root and names; anything else is not taken apart at all.
TEST(FullPathTest, OnlyPlainFullPathsComeApart) {
  const auto drive = fw::FullPath::Parse(u"C:\\Program Files//Korvane\\bin\\");
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->Root(), u"C:\\");
  EXPECT_EQ(drive->Names(), (std::vector<std::u16string>{u"Program Files", u"Korvane", u"bin"}));
  EXPECT_EQ(drive->Text(), u"C:\\Program Files\\Korvane\\bin");
  EXPECT_FALSE(drive->OnShare() || drive->WrittenAsDevice());
  const auto unc = fw::FullPath::Parse(u"\\\\server\\share\\Korvane\\a.txt");
  ASSERT_TRUE(unc);
  EXPECT_EQ(unc->Root(), u"\\\\server\\share\\");
  EXPECT_EQ(unc->Names(), (std::vector<std::u16string>{u"Korvane", u"a.txt"}));
  EXPECT_TRUE(unc->OnShare());
  for (const char16_t* path : {u"..\\x", u"C:x", u"\\x", u"x", u"C:\\Program Files\\Korvane\\..\\..\\x", u"C:\\a\\.\\b",
                               u"C:\\a\\...\\b", u"C:\\a\\. .\\b", u"\\\\server", u"\\\\?\\C:\\..\\x",
                               u"\\\\server\\share\\..\\x", u"",
                               // An empty server or share name would close up into another root:
                               // a device path, or the share named where the server should be.
                               u"\\\\\\?\\C:\\x", u"\\\\/.\\GLOBALROOT\\x", u"\\\\server\\\\share\\x",
                               // Names Windows trims name another entry: "C:\Windows." is C:\Windows.
                               u"C:\\Windows.", u"C:\\victim.\\keep.txt", u"C:\\victim \\keep.txt"})
    EXPECT_FALSE(fw::FullPath::Parse(path)) << Narrow(path);
  EXPECT_TRUE(fw::FullPath::Parse(u"C:\\a\\v1.2\\.cache"));
}

// A device path of a drive or a share is another name of a plain path, in any case; other device
// paths name no drive or share.
TEST(FullPathTest, DevicePathsOfDrivesAndSharesHaveOnePlainForm) {
  const auto plain = [](std::u16string_view text) {
    const auto path = fw::FullPath::Parse(text);
    EXPECT_TRUE(!path || path->WrittenAsDevice()) << Narrow(text);
    return path ? std::optional<std::u16string>(path->Text()) : std::nullopt;
  };
  EXPECT_EQ(plain(u"\\\\?\\C:\\x"), u"C:\\x");
  EXPECT_EQ(plain(u"\\\\.\\c:/x"), u"c:\\x");
  EXPECT_EQ(plain(u"\\\\?\\UNC\\server\\share\\x"), u"\\\\server\\share\\x");
  EXPECT_EQ(plain(u"\\\\?\\unc\\server\\share"), u"\\\\server\\share\\");
  for (const char16_t* other : {u"\\\\?\\Volume{0}\\x", u"\\\\?\\GLOBALROOT\\Device\\x", u"\\\\.\\C:x", u"\\\\?\\1:\\x"})
    EXPECT_FALSE(plain(other)) << Narrow(other);
  EXPECT_EQ(fw::PlainFormOf(std::u16string_view(u"\\\\?\\C:\\x")), u"C:\\x") << "final paths resolve the same way";
}

// Every spelling of one path compares alike, whatever the case of its letters (not only ASCII
// ones) or its separators; a parent and a child compare as their own parse does.
TEST(FullPathTest, OneComparableFormPerPath) {
  const auto comparable = [](std::u16string_view text) { return fw::FullPath::Parse(text)->Comparable(); };
  EXPECT_EQ(comparable(u"C:/Program Files//Korvane/"), comparable(u"c:\\PROGRAM FILES\\korvane"));
  EXPECT_EQ(comparable(u"C:\\Été\\Ωmega"), comparable(u"c:\\éTÉ\\ωMEGA"));
  EXPECT_EQ(comparable(u"\\\\?\\c:\\x"), comparable(u"C:\\X"));
  EXPECT_NE(comparable(u"C:\\Korvane"), comparable(u"C:\\Korvane2"));
  const auto path = *fw::FullPath::Parse(u"\\\\Server\\Share\\Été\\b");
  EXPECT_EQ(path.Parent().Comparable(), comparable(u"\\\\server\\share\\été"));
  EXPECT_EQ(path.Parent().Parent().Comparable(), comparable(u"\\\\server\\share\\"));
  EXPECT_TRUE(path.Parent().Parent().IsRoot());
  EXPECT_EQ(path.RootPath().Comparable(), comparable(u"\\\\SERVER\\SHARE"));
  EXPECT_EQ(path.Parent().Child(u"B").Comparable(), path.Comparable());
  EXPECT_EQ(fw::FullPath::Parse(u"C:\\")->Child(u"x").Text(), u"C:\\x");
  EXPECT_TRUE(fw::IsBelow(comparable(u"C:\\a\\b"), comparable(u"C:\\")));
  EXPECT_FALSE(fw::IsBelow(comparable(u"C:\\ab"), comparable(u"C:\\a")));
}

TEST(FolderNames, ProgramFolderNameIsASingleName) {
  EXPECT_TRUE(removal::IsSingleFolderName("Korvane"));
  EXPECT_TRUE(removal::IsSingleFolderName("\x81\x5C"));  // 乗: trail byte 0x5C
  for (const char* name : {"", ".", "..", "a\\b", "..\\Startup", "a/b", "C:x"})
    EXPECT_FALSE(removal::IsSingleFolderName(name)) << name;
}

}  // namespace

namespace {

// Access lists as Windows sets them, with the rights that matter.
constexpr std::uint32_t kFull = 0x1F01FF, kModify = 0x1301BF, kReadExecute = 0x1200A9, kCreateFolders = 0x4;
constexpr std::uint32_t kListFolder = 0x1, kGenericAll = 0x10000000;
using Acl = std::optional<std::vector<fw::AccessEntry>>;
fw::AccessEntry Admin(std::uint32_t mask) { return {true, true, false, mask}; }
fw::AccessEntry User(std::uint32_t mask, bool inheritOnly = false) { return {true, false, inheritOnly, mask}; }

// A drive's root: users may make folders in it, and Modify reaches only what is made inside.
const Acl kDriveRoot = std::vector<fw::AccessEntry>{Admin(kFull), Admin(kFull), User(kReadExecute), User(kCreateFolders),
                                                    User(kModify, /*inheritOnly=*/true)};

}  // namespace

// A link is followed only where only administrators can have made or changed it: its owner alone
// is not enough.
TEST(LinkTrustTest, OnlyAdministratorsCanHaveMadeOrChangedALinkThatIsFollowed) {
  // C:\Documents and Settings: SYSTEM's, everyone denied listing, users may read.
  const Acl documentsAndSettings = std::vector<fw::AccessEntry>{{false, false, false, kListFolder}, Admin(kFull),
                                                                Admin(kFull), User(kReadExecute)};
  EXPECT_TRUE(fw::OnlyAdministratorsCanChange(true, documentsAndSettings, kDriveRoot));
  // A junction moving Program Files to another drive keeps Program Files' list: TrustedInstaller,
  // SYSTEM and Administrators change it, users read it, CREATOR OWNER reaches only what is made in it.
  const Acl programFiles = std::vector<fw::AccessEntry>{Admin(kFull), Admin(kModify), Admin(kModify), User(kReadExecute),
                                                        User(kGenericAll, /*inheritOnly=*/true)};
  EXPECT_TRUE(fw::OnlyAdministratorsCanChange(true, programFiles, kDriveRoot));

  // A folder an administrator made in C:\ (C:\Apps) inherits Modify for every signed-in user: a user
  // empties it and turns it into a junction, and its owner stays Administrators.
  const Acl madeInTheRoot = std::vector<fw::AccessEntry>{Admin(kFull), Admin(kFull), User(kReadExecute), User(kModify)};
  EXPECT_FALSE(fw::OnlyAdministratorsCanChange(true, madeInTheRoot, kDriveRoot));
  // Any one change right for someone else is enough to distrust it.
  for (const std::uint32_t right : {0x2u, 0x4u, 0x10u, 0x40u, 0x100u, 0x10000u, 0x40000u, 0x80000u, 0x40000000u})
    EXPECT_FALSE(fw::OnlyAdministratorsCanChange(true, std::vector<fw::AccessEntry>{Admin(kFull), User(right)}, kDriveRoot))
        << std::hex << right;
  // No access list at all lets everyone do everything; an unread one is no better.
  EXPECT_FALSE(fw::OnlyAdministratorsCanChange(true, std::nullopt, kDriveRoot));
  EXPECT_FALSE(fw::OnlyAdministratorsCanChange(true, documentsAndSettings, std::nullopt));
  // Someone else may delete the folder's children: the link could be swapped for another.
  const Acl parentWithDeleteChild = std::vector<fw::AccessEntry>{Admin(kFull), User(0x40)};
  EXPECT_FALSE(fw::OnlyAdministratorsCanChange(true, documentsAndSettings, parentWithDeleteChild));
  // The owner still counts: a user's link with the system's list is a user's.
  EXPECT_FALSE(fw::OnlyAdministratorsCanChange(false, documentsAndSettings, kDriveRoot));
  // Deny entries grant nothing; an administrator's rights are the administrators'.
  EXPECT_TRUE(fw::OnlyAdministratorsCanChange(true, std::vector<fw::AccessEntry>{{false, false, false, kFull}, Admin(kFull)},
                                              kDriveRoot));
}

// The files asked about before the removal are those a program may run from or load, whatever the
// case of their names; what the boxes name stops at ten lines and says how many more.
TEST(FilesInUseTest, ImagesAreAskedAboutAndTheBoxesNameTenThenCount) {
  for (const char16_t* image : {u"C:\\K\\Korvane.exe", u"C:\\K\\RENDER.DLL", u"C:/K/x.Ocx", u"C:\\K\\zh-CN\\a.dll.mui"})
    EXPECT_TRUE(removal::MayRunAsImage(std::u16string_view(image))) << Narrow(image);
  for (const char16_t* other : {u"C:\\K\\a.lvf", u"C:\\K\\exe", u"C:\\K.exe\\readme", u"C:\\K\\a.exe.bak", u"C:\\K\\a."})
    EXPECT_FALSE(removal::MayRunAsImage(std::u16string_view(other))) << Narrow(other);
  // GBK text: a name with two-byte characters before its extension.
  EXPECT_TRUE(removal::MayRunAsImage(std::string_view("C:\\\xC4\xA3\xB0\xE5\\a.EXE")));
  EXPECT_FALSE(removal::MayRunAsImage(std::string_view("C:\\\xC4\xA3\xB0\xE5.\xB0\xE5")));

  std::vector<std::u16string> names;
  for (int i = 0; i < 12; ++i) names.push_back(u"C:\\K\\" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u".exe");
  const std::u16string lines = removal::NamedLines(names);
  EXPECT_NE(lines.find(u"j.exe\n"), std::u16string::npos);
  EXPECT_EQ(lines.find(u"k.exe"), std::u16string::npos);
  EXPECT_NE(lines.find(u"以及其他 2 个"), std::u16string::npos);
  EXPECT_EQ(removal::NamedLines({u"a", u"b"}), u"a\nb\n");

  const std::u16string question = removal::InUseQuestion({u"Korvane", u"C:\\K\\Korvane.exe"});
  for (const char16_t* said : {u"Korvane\nC:\\K\\Korvane.exe\n", u"重试", u"忽略", u"中止"})
    EXPECT_NE(question.find(said), std::u16string::npos) << Narrow(said);
  EXPECT_TRUE(removal::LeftBehindMessage({}, {}).empty());
  const std::u16string both = removal::LeftBehindMessage({u"C:\\K\\a.exe"}, {u"C:\\K\\b.dll"});
  EXPECT_LT(both.find(u"重新启动"), both.find(u"C:\\K\\a.exe"));
  EXPECT_LT(both.find(u"未能删除"), both.find(u"C:\\K\\b.dll"));
}
