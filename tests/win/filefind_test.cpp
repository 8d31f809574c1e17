// FileFind against real folders of the Wine prefix.
#include "FileFind.h"
#include "WinScratch.h"

namespace {

using fw::FileFind;
using winscratch::W;

class FileFindTest : public winscratch::ScratchDir {};

TEST_F(FileFindTest, MakesEveryEntryCurrentOnceAndSaysWhenNoneFollows) {
  ASSERT_TRUE(CreateDirectoryA(Path("sub").c_str(), nullptr));
  winscratch::WriteFileBytes(Path("a.txt"), "a");
  winscratch::WriteFileBytes(Path("b.txt"), "b");

  FileFind finder;
  ASSERT_TRUE(finder.FindFile(W(dir_ + "\\*.*")));
  int entries = 0;
  bool more = true;
  while (more) {
    more = finder.FindNextFile();
    ++entries;
  }
  EXPECT_EQ(entries, 5) << "\".\", \"..\", sub, a.txt and b.txt";
  EXPECT_FALSE(finder.FindNextFile()) << "nothing after the last entry";
}

TEST_F(FileFindTest, FindsASingleFileAndNothingForMissingOnes) {
  winscratch::WriteFileBytes(Path("one.lnk"), "x");
  FileFind finder;
  ASSERT_TRUE(finder.FindFile(W(Path("one.lnk"))));
  EXPECT_FALSE(finder.FindNextFile()) << "the only entry";
  EXPECT_FALSE(finder.FindFile(W(Path("none.lnk"))));
  EXPECT_FALSE(finder.FindFile(W(Path("nofolder\\*.*"))));
}

TEST_F(FileFindTest, RefusesPatternsOf260CharactersOrMore) {
  // Build a real file whose full path is exactly 259 characters, then ask for 260.
  std::string folder = dir_;
  while (folder.size() < 200) {
    folder += "\\" + std::string(40, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  const std::string file = folder + "\\" + std::string(259 - folder.size() - 1, 'f');
  ASSERT_EQ(file.size(), 259u);
  winscratch::WriteFileBytes(file, "x");

  FileFind finder;
  EXPECT_TRUE(finder.FindFile(W(file)));
  EXPECT_FALSE(finder.FindFile(W(file.substr(0, 258) + "*"  + "*"))) << "260-character pattern";
  EXPECT_FALSE(finder.FindFile(W(std::string(300, 'x'))));
}

// What the launcher asks of the place of "~uninst.exe" (links: the folder-tree link test).
TEST_F(FileFindTest, AttributesOfAFileAFolderAndNothing) {
  ASSERT_TRUE(CreateDirectoryA(Path("sub").c_str(), nullptr));
  winscratch::WriteFileBytes(Path("a.txt"), "a");
  const DWORD folder = FileFind::AttributesOf(W(Path("sub")));
  ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
  const DWORD file = FileFind::AttributesOf(W(Path("a.txt")));
  ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(FileFind::AttributesOf(W(Path("none.txt"))), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
