// The launcher's staging copy, on host files.
#include <gtest/gtest.h>

#include "Staging.h"
#include "TestFiles.h"
#include "Trailer.h"

namespace {

using namespace std::string_literals;
using payload::PayloadTrailer;
using testing_files::ReadAll;
using testing_files::WriteAll;

std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string TrailerBytes(const PayloadTrailer& t) {
  const auto b = t.Encode();
  return std::string(b.begin(), b.end());
}

class StagingTest : public testing_files::ScratchDir {
 protected:
  // Stages `launcherBytes` (which carry a payload) behind `image`; returns the staged bytes.
  std::string Stage(const std::string& launcherBytes, const std::string& image) {
    WriteAll(Path("Uninst.exe"), launcherBytes);
    fw::File source;
    EXPECT_TRUE(source.Open(Path("Uninst.exe"), fw::File::Mode::Read));
    const auto trailer = payload::ReadTrailer(source);
    EXPECT_TRUE(trailer && trailer->IsValid());
    fw::File staged;
    EXPECT_TRUE(staged.Open(Path("~uninst.exe"), fw::File::Mode::CreateWrite));
    const fw::Sha256Digest written = payload::WriteStagedRemover(source, *trailer, image, staged);
    staged.Close();
    EXPECT_TRUE(staged.Open(Path("~uninst.exe"), fw::File::Mode::Read));
    EXPECT_EQ(written, fw::ContentDigest(staged)) << "the digest returned is the staged file's";
    return ReadAll(Path("~uninst.exe"));
  }

  const std::string launcherImage_ = "MZ launcher image";
  const std::string removerImage_ = "MZ remover image, longer than the launcher's";
};

TEST_F(StagingTest, CopiesRecordsInOrderBehindTheImageWithAFreshTrailer) {
  // Source: other blockSize (accepted as long as endOffset agrees), a wide string, long and
  // non-minimal length prefixes, a negative entry count.
  const std::string records = "\x02Q1"s + "\xFF\xFE\xFF\x02\x2D\x4E\x87\x65"s + "\xFF\x03\x00" "C:f"s +
                              Le32(3) + "\x01" "A"s + Le32(2) + "\x02" "a1"s + "\xFF\xFF\xFF" + Le32(2) + "a2" +
                              "\x01" "B"s + Le32(static_cast<std::uint32_t>(-1)) + "\x00"s + Le32(0);
  const auto size = static_cast<std::uint32_t>(launcherImage_.size());
  const PayloadTrailer source{4096, size, size + 4096 + 16, 42};
  const std::string staged = Stage(launcherImage_ + records + TrailerBytes(source), removerImage_);

  // Every string narrow with the shortest prefix; counts and order as they were.
  const std::string expectedRecords = "\x02Q1"s + "\x04\xD6\xD0\xCE\xC4"s + "\x03" "C:f"s + Le32(3) +
                                      "\x01" "A"s + Le32(2) + "\x02" "a1"s + "\x02" "a2"s + "\x01" "B"s +
                                      Le32(static_cast<std::uint32_t>(-1)) + "\x00"s + Le32(0);
  const auto rsize = static_cast<std::uint32_t>(removerImage_.size());
  EXPECT_EQ(staged, removerImage_ + expectedRecords + TrailerBytes({1024, rsize, rsize + 1040, 42}));
}

TEST_F(StagingTest, NoGroupsGivesImageStringsCountAndTrailer) {
  const std::string records = "\x01Q\x01R\x00"s + Le32(0);
  const auto size = static_cast<std::uint32_t>(launcherImage_.size());
  const std::string staged =
      Stage(launcherImage_ + records + TrailerBytes(PayloadTrailer::ForImage(size, 1)), removerImage_);
  EXPECT_EQ(staged.size(), removerImage_.size() + records.size() + 16);
  EXPECT_EQ(staged.substr(removerImage_.size(), records.size()), records);
}

TEST_F(StagingTest, DamagedArchivesRaiseBeforeTheTrailerIsWritten) {
  const auto size = static_cast<std::uint32_t>(launcherImage_.size());
  const std::string damaged[] = {
      // The reader is not bounded by the trailer (it follows the counts), so damage shows as a
      // count or a length that runs past the end of the file.
      "\x01Q\x01R\x00"s + Le32(1000) + "\x01G"s + Le32(1),
      "\x01Q\x01R\x00"s + Le32(1) + "\x01G"s + Le32(0x7FFFFFFF) + "\x02g1",
      "\x01Q\x01R\x00"s + Le32(1) + "\xFF\xFF\xFF" + Le32(0x7FFFFFF0),  // a length past the end
      "\x01Q\x01R\x00"s + Le32(1) + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0) + Le32(1),  // 64-bit, too long
  };
  for (const std::string& records : damaged) {
    SCOPED_TRACE(records.size());
    WriteAll(Path("Uninst.exe"), launcherImage_ + records + TrailerBytes(PayloadTrailer::ForImage(size, 1)));
    fw::File source;
    ASSERT_TRUE(source.Open(Path("Uninst.exe"), fw::File::Mode::Read));
    const auto trailer = payload::ReadTrailer(source);
    payload::RecordVisitor check;
    EXPECT_THROW(payload::ReadRecords(source, *trailer, check), fw::ArchiveError);
    fw::File staged;
    ASSERT_TRUE(staged.Open(Path("~uninst.exe"), fw::File::Mode::CreateWrite));
    EXPECT_THROW(payload::WriteStagedRemover(source, *trailer, removerImage_, staged), fw::ArchiveError);
  }
}

}  // namespace
