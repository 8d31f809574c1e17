// The archive on Windows files.
#include "Archive.h"
#include "WinScratch.h"

namespace {

class WinArchiveTest : public winscratch::ScratchDir {};

TEST_F(WinArchiveTest, WideStringsBecomeAnsi) {
  using namespace std::string_literals;
  winscratch::WriteFileBytes(Path("w.bin"), "\xFF\xFE\xFF\x02" "\x2D\x4E\x57\x4E"s);  // 中乗
  fw::File file;
  ASSERT_TRUE(file.Open(winscratch::W(Path("w.bin")), fw::File::Mode::Read));
  fw::Archive archive(file, fw::Archive::Mode::Load);
  EXPECT_EQ(archive.ReadString(), "\xD6\xD0\x81\x5C");
}

}  // namespace
