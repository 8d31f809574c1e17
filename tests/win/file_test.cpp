// The Win32 File against real files of the Wine prefix.
#include "File.h"
#include "FileObject.h"
#include "WinScratch.h"

namespace {

using fw::File;

class FileWinTest : public winscratch::ScratchDir {};

TEST_F(FileWinTest, ReadModeAdmitsNoOtherOpener) {
  winscratch::WriteFileBytes(Path("own.exe"), "0123456789");
  File own;
  ASSERT_TRUE(own.Open(winscratch::W(Path("own.exe")), File::Mode::Read));
  File second;
  EXPECT_FALSE(second.Open(winscratch::W(Path("own.exe")), File::Mode::Read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(second.Open(winscratch::W(Path("own.exe")), File::Mode::CreateWrite));
  EXPECT_FALSE(DeleteFileA(Path("own.exe").c_str()));
  own.Close();
  EXPECT_TRUE(second.Open(winscratch::W(Path("own.exe")), File::Mode::Read));
}

TEST_F(FileWinTest, CreateWriteTruncatesAndSeeksFromBothEnds) {
  winscratch::WriteFileBytes(Path("f.bin"), std::string(100, 'x'));
  {
    File f;
    ASSERT_TRUE(f.Open(winscratch::W(Path("f.bin")), File::Mode::CreateWrite));
    EXPECT_EQ(f.GetLength(), 0u) << "an existing file is replaced, not appended to";
    f.Write("abcdef", 6);
    EXPECT_EQ(f.Seek(-2, File::SeekFrom::End), 4u);
    f.Write("XY", 2);
    EXPECT_EQ(f.Seek(1, File::SeekFrom::Begin), 1u);
    f.Write("B", 1);
  }  // closed by the destructor
  File f;
  ASSERT_TRUE(f.Open(winscratch::W(Path("f.bin")), File::Mode::Read));
  EXPECT_EQ(f.GetLength(), 6u);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 6u);
  EXPECT_EQ(std::string(buf, 6), "aBcdXY");
  EXPECT_EQ(f.Read(buf, sizeof buf), 0u);
  EXPECT_THROW(f.Write("z", 1), fw::FileError) << "a read-only file refuses writes";
}

TEST_F(FileWinTest, FoldersAndMissingFilesAreNotOpened) {
  File f;
  EXPECT_FALSE(f.Open(winscratch::W(Path("missing.bin")), File::Mode::Read));
  EXPECT_FALSE(f.Open(winscratch::W(dir_), File::Mode::Read));
  EXPECT_FALSE(f.Open(winscratch::W(dir_), File::Mode::CreateWrite));
  EXPECT_FALSE(f.IsOpen());
}

TEST_F(FileWinTest, GbkPathsReachTheFileSystem) {
  const std::string name = Path("\xD6\xD0\x81\x5C.txt");  // 中乗.txt
  File f;
  ASSERT_TRUE(f.Open(winscratch::W(name), File::Mode::CreateWrite));
  f.Close();
  EXPECT_NE(GetFileAttributesW((std::wstring(dir_.begin(), dir_.end()) + L"\\中乗.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

// The running program's own file opens as its own image; any other file, even one put under the
// program's name, does not, and while the own file is held nobody renames or rewrites it.
TEST_F(FileWinTest, OwnImageIsTheFileTheProgramWasLoadedFromAndIsHeld) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  File own;
  ASSERT_TRUE(own.Open(self, File::Mode::OwnImage));
  EXPECT_FALSE(MoveFileW(self, (std::wstring(self) + L".moved").c_str())) << "renamed while held";
  EXPECT_FALSE(File().Open(self, File::Mode::CreateWrite));

  // A copy of the very same bytes is still another file.
  const std::wstring copy = winscratch::W(Path("copy.exe"));
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  File other;
  EXPECT_FALSE(other.Open(copy, File::Mode::OwnImage));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
  EXPECT_TRUE(other.Open(copy, File::Mode::ReadHeld)) << "and nothing of it is kept open";
}

// A FileObject that holds nothing (a folder that could not be opened) is never passed on as the
// folder a name is opened relative to: with no folder, a name is a full path of the system's own
// ("\??\C:\..."), and an empty handle of the other kind names the current process. Whatever the
// name, nothing is opened, found or deleted.
TEST(FileObjectTest, AnEmptyFolderObjectOpensNothingWhateverTheName) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string victim = std::string(temp) + "korvane-empty-object-victim.txt";
  winscratch::WriteFileBytes(victim, "not the product's");
  const fw::FileObject empty = fw::FileObject::OpenFolder(L"C:\\korvane-no-such-folder");
  ASSERT_FALSE(empty);
  const std::wstring nativeName = L"\\??\\" + winscratch::W(victim);
  const fw::FolderEntry entry{nativeName, L"", FILE_ATTRIBUTE_NORMAL, 0};
  EXPECT_FALSE(empty.DeleteFileEntry(entry));
  EXPECT_FALSE(empty.InUse(entry));
  EXPECT_FALSE(empty.OpenFileForReading(entry).IsOpen());
  EXPECT_FALSE(empty.OpenSubfolder(entry));
  EXPECT_TRUE(winscratch::Exists(victim)) << "deleted through an empty folder object";
  DeleteFileA(victim.c_str());
}

}  // namespace
