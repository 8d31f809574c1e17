// FileFind against real folders of the Wine prefix.
#include <set>

#include "FileFind.h"
#include "WinScratch.h"

namespace {

using fw::FileFind;
using winscratch::W;

class FileFindTest : public winscratch::ScratchDir {};

TEST_F(FileFindTest, WalksEntriesWithDotsFoldersAndFullPaths) {
  ASSERT_TRUE(CreateDirectoryA(Path("sub").c_str(), nullptr));
  winscratch::WriteFileBytes(Path("a.txt"), "a");
  winscratch::WriteFileBytes(Path("b.txt"), "b");

  FileFind finder;
  ASSERT_TRUE(finder.FindFile(W(dir_ + "\\*.*")));
  std::set<std::wstring> files, folders, dots;
  bool more = true;
  while (more) {
    more = finder.FindNextFile();
    if (finder.IsDots())
      dots.insert(finder.GetFileName());
    else if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY))
      folders.insert(finder.GetFilePath());
    else
      files.insert(finder.GetFilePath());
  }
  EXPECT_EQ(dots, (std::set<std::wstring>{L".", L".."}));
  EXPECT_EQ(folders, (std::set<std::wstring>{W(Path("sub"))}));
  EXPECT_EQ(files, (std::set<std::wstring>{W(Path("a.txt")), W(Path("b.txt"))}));
  EXPECT_FALSE(finder.FindNextFile()) << "nothing after the last entry";
}

TEST_F(FileFindTest, FindsASingleFileAndNothingForMissingOnes) {
  winscratch::WriteFileBytes(Path("one.lnk"), "x");
  FileFind finder;
  ASSERT_TRUE(finder.FindFile(W(Path("one.lnk"))));
  EXPECT_FALSE(finder.FindNextFile()) << "the only entry";
  EXPECT_EQ(finder.GetFilePath(), W(Path("one.lnk")));
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

TEST_F(FileFindTest, FullPathsKeepGbkTrailBytes) {
  // A folder named 乗 (81 5C): its trail byte must not be taken for a path separator.
  const std::string nori = Path("\x81\x5C");
  ASSERT_TRUE(CreateDirectoryA(nori.c_str(), nullptr));
  winscratch::WriteFileBytes(nori + "\\x.txt", "x");
  FileFind finder;
  ASSERT_TRUE(finder.FindFile(W(nori + "\\*.txt")));
  finder.FindNextFile();
  EXPECT_EQ(finder.GetFilePath(), W(nori + "\\x.txt"));
}

TEST_F(FileFindTest, RelativePatternsGiveFullPaths) {
  winscratch::WriteFileBytes(Path("rel.txt"), "x");
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  FileFind finder;
  const bool found = finder.FindFile(L"rel.txt");
  SetCurrentDirectoryA(saved);
  ASSERT_TRUE(found);
  finder.FindNextFile();
  EXPECT_EQ(finder.GetFilePath(), W(Path("rel.txt")));
}

}  // namespace
