#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "Records.h"
#include "TestFiles.h"
#include "Trailer.h"

namespace {

using namespace std::string_literals;
using payload::PayloadTrailer;
using testing_files::ReadAll;
using testing_files::WriteAll;

// The record archive of the format's worked example: folder name Q, install folder C:\Q\, no
// final file, one group C:\Q holding C:\Q\a.
const std::string kWorkedExample =
    "\x01\x51"
    "\x05\x43\x3A\x5C\x51\x5C"
    "\x00"
    "\x01\x00\x00\x00"
    "\x04\x43\x3A\x5C\x51"
    "\x01\x00\x00\x00"
    "\x06\x43\x3A\x5C\x51\x5C\x61"s;

payload::RemovalRecords WorkedExampleRecords() {
  return {{"Q", "C:\\Q\\", ""}, {{"C:\\Q", {"C:\\Q\\a"}}}};
}

// A file's record archive taken from its first byte and ending at `end`, where a trailer would be.
payload::PayloadLocation RecordsFromStartTo(std::uint64_t end) {
  payload::PayloadLocation location;
  location.recordsOffset = 0;
  location.trailerOffset = end;
  return location;
}

class PayloadTest : public testing_files::ScratchDir {
 protected:
  // Writes `image`, then the records and a trailer, as an installer does; returns the file bytes.
  std::string WritePayloadFile(const std::string& path, const std::string& image,
                               const payload::RemovalRecords& records) {
    fw::File file;
    EXPECT_TRUE(file.Open(path, fw::File::Mode::CreateWrite));
    file.Write(image.data(), image.size());
    payload::AppendPayload(file, image.size(), records, records.FileTotal());
    file.Close();
    return ReadAll(path);
  }

  payload::RemovalRecords ReadBack(const std::string& path) {
    fw::File file;
    EXPECT_TRUE(file.Open(path, fw::File::Mode::Read));
    const auto trailer = payload::ReadTrailer(file);
    EXPECT_TRUE(trailer && trailer->IsValid());
    payload::RecordCollector collector;
    payload::ReadRecords(file, *trailer, collector);
    return collector.records;
  }
};

TEST_F(PayloadTest, WorkedExampleComesOutByteForByte) {
  const std::string image = "MZ-image-of-17-by";
  const std::string bytes = WritePayloadFile(Path("launcher.exe"), image, WorkedExampleRecords());
  const std::uint32_t s = 17;
  std::string trailer = "\x00\x04\x00\x00"s;
  trailer += std::string{static_cast<char>(s), 0, 0, 0};
  trailer += std::string{static_cast<char>((s + 1040) & 0xFF), static_cast<char>((s + 1040) >> 8), 0, 0};
  trailer += "\x01\x00\x00\x00"s;
  EXPECT_EQ(bytes, image + kWorkedExample + trailer);
  ASSERT_EQ(kWorkedExample.size(), 29u);

  const auto records = ReadBack(Path("launcher.exe"));
  EXPECT_EQ(records.header.programFolderName, "Q");
  EXPECT_EQ(records.header.installDir, "C:\\Q\\");
  EXPECT_EQ(records.header.finalFile, "");
  ASSERT_EQ(records.groups.size(), 1u);
  EXPECT_EQ(records.groups[0].folderPath, "C:\\Q");
  EXPECT_EQ(records.groups[0].filePaths, std::vector<std::string>{"C:\\Q\\a"});
}

TEST_F(PayloadTest, TruncationAtEveryOffsetIsAnEndOfFileError) {
  for (std::size_t cut = 0; cut < kWorkedExample.size(); ++cut) {
    SCOPED_TRACE(cut);
    WriteAll(Path("cut.bin"), kWorkedExample.substr(0, cut));
    fw::File file;
    ASSERT_TRUE(file.Open(Path("cut.bin"), fw::File::Mode::Read));
    payload::RecordVisitor ignore;
    try {
      payload::ReadRecords(file, RecordsFromStartTo(cut), ignore);
      ADD_FAILURE() << "a cut archive was read through";
    } catch (const fw::ArchiveError& e) {
      EXPECT_EQ(e.kind(), fw::ArchiveError::Kind::EndOfFile);
      EXPECT_LE(e.offset(), cut);
    }
  }
}

TEST_F(PayloadTest, RecordsCutShortNeverReadIntoTheTrailer) {
  // The last group's count and entry sit right before the trailer: a cut there would otherwise
  // take the missing bytes from the trailer (a count of 0x00000400 or a negative one).
  payload::RemovalRecords records = WorkedExampleRecords();
  records.groups.push_back({"C:\\Q\\b", {"C:\\Q\\b\\x"}});
  const std::string image = "MZ";
  const std::string whole = WritePayloadFile(Path("whole.exe"), image, records);
  const std::string trailer = whole.substr(whole.size() - 16);
  const std::string archive = whole.substr(image.size(), whole.size() - 16 - image.size());
  for (std::size_t cut = 1; cut <= 20; ++cut) {
    SCOPED_TRACE(cut);
    WriteAll(Path("cut.exe"), image + archive.substr(0, archive.size() - cut) + trailer);
    fw::File file;
    ASSERT_TRUE(file.Open(Path("cut.exe"), fw::File::Mode::Read));
    const auto found = payload::ReadTrailer(file);
    ASSERT_TRUE(found && found->IsValid());
    payload::RecordVisitor check;
    try {
      payload::ReadRecords(file, *found, check);
      ADD_FAILURE() << "records cut short were read through";
    } catch (const fw::ArchiveError& e) {
      EXPECT_EQ(e.kind(), fw::ArchiveError::Kind::EndOfFile);
    }
  }
}

TEST_F(PayloadTest, CountsOfZeroOrLessAreEmptyLists) {
  struct Seen : payload::RecordVisitor {
    void OnGroupCount(std::int32_t n) override { counts.push_back(n); }
    void OnGroup(const std::string& f, std::int32_t n) override {
      groups.push_back(f);
      counts.push_back(n);
    }
    void OnEntry(const std::string&) override { ++entries; }
    std::vector<std::int32_t> counts;
    std::vector<std::string> groups;
    int entries = 0;
  };
  const std::string header = "\x01Q\x00\x00"s;
  // The reader stops after the last group: it reads through when the records end there, and
  // needs every byte up to there.
  const auto read = [&](const std::string& archiveBytes, std::size_t consumed) {
    WriteAll(Path("r.bin"), archiveBytes);
    fw::File file;
    EXPECT_TRUE(file.Open(Path("r.bin"), fw::File::Mode::Read));
    payload::RecordVisitor ignore;
    EXPECT_THROW(payload::ReadRecords(file, RecordsFromStartTo(consumed - 1), ignore), fw::ArchiveError);
    Seen seen;
    payload::ReadRecords(file, RecordsFromStartTo(consumed), seen);
    return seen;
  };
  const Seen none = read(header + "\xFF\xFF\xFF\xFF" + "trailing bytes are not read", 8);
  EXPECT_EQ(none.counts, std::vector<std::int32_t>{-1});
  const Seen zero = read(header + "\x00\x00\x00\x00"s, 8);
  EXPECT_TRUE(zero.groups.empty());
  const Seen emptyGroup = read(header + "\x02\x00\x00\x00\x01G\x00\x00\x00\x00\x01H\xFE\xFF\xFF\xFF"s, 20);
  EXPECT_EQ(emptyGroup.groups, (std::vector<std::string>{"G", "H"}));
  EXPECT_EQ(emptyGroup.counts, (std::vector<std::int32_t>{2, 0, -2}));
  EXPECT_EQ(emptyGroup.entries, 0);
}

TEST(PayloadTrailerTest, ValidityIsTheConsistencyValueAndANonZeroTotal) {
  EXPECT_TRUE((PayloadTrailer{1024, 100, 1140, 1}.IsValid()));
  EXPECT_TRUE((PayloadTrailer{4096, 100, 4212, 3}.IsValid())) << "any block size that agrees";
  EXPECT_FALSE((PayloadTrailer{1024, 100, 1140, 0}.IsValid())) << "no files";
  EXPECT_FALSE((PayloadTrailer{1024, 100, 1141, 1}.IsValid()));
  EXPECT_TRUE((PayloadTrailer{1024, 0xFFFFFFF0u, 1024, 1}.IsValid())) << "32-bit wrap-around";
  const PayloadTrailer fresh = PayloadTrailer::ForImage(0x12345, 7);
  EXPECT_EQ(fresh.blockSize, 1024u);
  EXPECT_EQ(fresh.endOffset, 0x12345u + 1040u);
  EXPECT_TRUE(fresh.IsValid());
  const auto bytes = fresh.Encode();
  EXPECT_EQ(PayloadTrailer::Decode(bytes.data()).recordsOffset, 0x12345u);
}

TEST_F(PayloadTest, TrailerIsReadFromTheLast16Bytes) {
  const PayloadTrailer t{1024, 3, 1043, 9};
  const auto enc = t.Encode();
  WriteAll(Path("t.bin"), "abc" + std::string(enc.begin(), enc.end()));
  fw::File file;
  ASSERT_TRUE(file.Open(Path("t.bin"), fw::File::Mode::Read));
  const auto read = payload::ReadTrailer(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->fileTotal, 9u);
  EXPECT_TRUE(read->IsValid());

  WriteAll(Path("short.bin"), "only 15 bytes..");
  ASSERT_TRUE(file.Open(Path("short.bin"), fw::File::Mode::Read));
  EXPECT_FALSE(payload::ReadTrailer(file));
}

TEST_F(PayloadTest, FilesOf4GiBOrMoreUseTheLow32BitsOfTheirLength) {
  // Sparse files: the trailer is looked for at (length mod 2^32) - 16, as the remover does.
  const PayloadTrailer t{1024, 5, 1045, 2};
  const auto enc = t.Encode();
  const auto sparse = [&](std::uint64_t length, std::uint64_t trailerAt) {
    const int fd = ::open(Path("big.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
    EXPECT_EQ(::pwrite(fd, enc.data(), enc.size(), static_cast<off_t>(trailerAt)), 16);
    ::close(fd);
    fw::File file;
    EXPECT_TRUE(file.Open(Path("big.bin"), fw::File::Mode::Read));
    return payload::ReadTrailer(file);
  };
  const std::uint64_t four = 1ull << 32;
  auto read = sparse(four + 100, 84);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->recordsOffset, 5u);
  // Length mod 2^32 below 16: the 32-bit position wraps to just under 4 GiB.
  read = sparse(four + 8, 0xFFFFFFF8ull);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->IsValid());
}

TEST_F(PayloadTest, ChineseRecordsRoundTripAndCountFiles) {
  payload::RemovalRecords records{{"\xD6\xD0\xCE\xC4", "C:\\\xD6\xD0\x81\x5C", "C:\\f"},
                                  {{"C:\\a", {"C:\\a\\1", "C:\\a\\2"}}, {"", {}}, {"C:\\b", {std::string(300, 'p')}}}};
  EXPECT_EQ(records.FileTotal(), 3u);
  WritePayloadFile(Path("cn.exe"), "MZ", records);
  const auto back = ReadBack(Path("cn.exe"));
  EXPECT_EQ(back.header.programFolderName, records.header.programFolderName);
  EXPECT_EQ(back.header.installDir, records.header.installDir);
  ASSERT_EQ(back.groups.size(), 3u);
  EXPECT_EQ(back.groups[0].filePaths, records.groups[0].filePaths);
  EXPECT_TRUE(back.groups[1].filePaths.empty());
  EXPECT_EQ(back.groups[2].filePaths, records.groups[2].filePaths);
}

}  // namespace
