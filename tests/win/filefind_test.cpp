// What a folder search lists for one path, against real folders of the Wine prefix.
#include "FileFind.h"

#include "WinScratch.h"

namespace {

using winscratch::W;

class FileFindTest : public winscratch::ScratchDir {};

// What the launcher asks of the place of "~uninst.exe" (links: the folder-tree link test).
TEST_F(FileFindTest, AttributesOfAFileAFolderAndNothing) {
  ASSERT_TRUE(CreateDirectoryA(Path("sub").c_str(), nullptr));
  winscratch::WriteFileBytes(Path("a.txt"), "a");
  const DWORD folder = fw::AttributesOf(W(Path("sub")));
  ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
  const DWORD file = fw::AttributesOf(W(Path("a.txt")));
  ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(fw::AttributesOf(W(Path("none.txt"))), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fw::AttributesOf(W(Path("nofolder\\a.txt"))), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileFindTest, PathsOf260CharactersOrMoreAreNeverSearched) {
  // A real file whose full path is exactly 259 characters, and one of 260 beside it.
  std::string folder = dir_;
  while (folder.size() < 200) {
    folder += "\\" + std::string(40, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  const std::string file = folder + "\\" + std::string(259 - folder.size() - 1, 'f');
  ASSERT_EQ(file.size(), 259u);
  winscratch::WriteFileBytes(file, "x");

  EXPECT_NE(fw::AttributesOf(W(file)), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fw::AttributesOf(W(file.substr(0, 258) + "**")), INVALID_FILE_ATTRIBUTES) << "260 characters";
  EXPECT_EQ(fw::AttributesOf(W(std::string(300, 'x'))), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
