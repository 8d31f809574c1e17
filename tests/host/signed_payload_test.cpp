// Where the payload of a signed launcher is: in front of the certificate table that ends the
// file, behind the zero bytes a signing tool may put before the table.
#include <gtest/gtest.h>

#include "Records.h"
#include "Signing.h"
#include "TestFiles.h"
#include "Trailer.h"

namespace {

using payload::PayloadLocation;
using payload::Signature;
using testing_files::WriteAll;

const payload::RemovalRecords kRecords{{"Korvane", "C:\\Program Files\\Korvane\\", ""},
                                       {{"C:\\Program Files\\Korvane", {"C:\\Program Files\\Korvane\\a.dll"}}}};

class SignedPayloadTest : public testing_files::ScratchDir {
 protected:
  // `image`, the records and their trailer, as uninst-pack writes them.
  std::string Packed(const std::string& image) {
    fw::File file;
    EXPECT_TRUE(file.Open(Path("packing.exe"), fw::File::Mode::CreateWrite));
    file.Write(image.data(), image.size());
    payload::AppendPayload(file, image.size(), kRecords, kRecords.FileTotal());
    file.Close();
    return testing_files::ReadAll(Path("packing.exe"));
  }

  // The trailer's location in `bytes`, written to a file and read back; the file stays open in
  // file_ for reading the records.
  std::optional<PayloadLocation> Locate(const std::string& bytes) {
    WriteAll(Path("launcher.exe"), bytes);
    file_.Close();
    EXPECT_TRUE(file_.Open(Path("launcher.exe"), fw::File::Mode::Read));
    return payload::ReadTrailer(file_);
  }

  payload::RemovalRecords RecordsAt(const PayloadLocation& location) {
    payload::RecordCollector collector;
    payload::ReadRecords(file_, location, collector);
    return collector.records;
  }

  fw::File file_;
};

bool operator==(const payload::RemovalRecords& a, const payload::RemovalRecords& b) {
  if (a.header.programFolderName != b.header.programFolderName || a.header.installDir != b.header.installDir ||
      a.header.finalFile != b.header.finalFile || a.groups.size() != b.groups.size())
    return false;
  for (std::size_t i = 0; i < a.groups.size(); ++i)
    if (a.groups[i].folderPath != b.groups[i].folderPath || a.groups[i].filePaths != b.groups[i].filePaths) return false;
  return true;
}

TEST_F(SignedPayloadTest, WithoutATableTheTrailerEndsTheFile) {
  for (const std::string& image : {testsigning::MinimalPe(), std::string("MZ not a PE image at all")}) {
    const std::string packed = Packed(image);
    const auto found = Locate(packed);
    ASSERT_TRUE(found && found->IsValid());
    EXPECT_EQ(found->signature, Signature::None);
    EXPECT_FALSE(found->certificateTable);
    EXPECT_EQ(found->trailerOffset, packed.size() - 16);
    EXPECT_TRUE(RecordsAt(*found) == kRecords);
  }
}

// Image lengths 0 to 7 bytes over a multiple of 8 give every padding a signing tool can add; the
// table's own last 16 bytes look like a valid trailer, so reading at the end of the file fails.
TEST_F(SignedPayloadTest, ATableEndingTheFileEndsThePayloadAfterAnyPadding) {
  for (const std::uint32_t magic : {0x20Bu, 0x10Bu}) {
    for (std::size_t extra = 0; extra < 8; ++extra) {
      const std::string image = testsigning::MinimalPe(magic) + std::string(extra, '\xCC');
      const std::string packed = Packed(image);
      const std::string signedFile = testsigning::Signed(packed);
      const std::size_t padding = (8 - packed.size() % 8) % 8;
      const auto found = Locate(signedFile);
      SCOPED_TRACE("magic " + std::to_string(magic) + ", padding " + std::to_string(padding));
      ASSERT_TRUE(found && found->IsValid());
      EXPECT_EQ(found->signature, Signature::CoversPayload);
      EXPECT_EQ(found->trailerOffset, packed.size() - 16);
      ASSERT_TRUE(found->certificateTable);
      EXPECT_EQ(found->certificateTable->offset, packed.size() + padding);
      EXPECT_EQ(found->recordsOffset, image.size());
      EXPECT_TRUE(RecordsAt(*found) == kRecords);
    }
  }
}

// Whatever a table that ends the file leaves in front of it that is not padding and a trailer is
// no payload: non-zero bytes where padding would be, or a table with no room in front of it.
TEST_F(SignedPayloadTest, NoTrailerInFrontOfATableIsNoPayload) {
  const std::string image = testsigning::MinimalPe();
  std::string unpadded = image + std::string(8 - image.size() % 8, '\x7F');  // 8-aligned, no trailer
  const auto noTrailer = Locate(testsigning::Signed(unpadded));
  ASSERT_TRUE(noTrailer);
  EXPECT_FALSE(noTrailer->IsValid());

  // A valid trailer followed by non-zero bytes up to the table: not a signing tool's padding.
  std::string packed = Packed(image);
  packed.append((8 - packed.size() % 8) % 8 + 8, '\x01');
  const auto dirty = Locate(testsigning::Signed(packed));
  ASSERT_TRUE(dirty);
  EXPECT_FALSE(dirty->IsValid());

  std::string headersOnly = image;
  testsigning::SetSecurityDirectory(headersOnly, 8, static_cast<std::uint32_t>(headersOnly.size() - 8));
  const auto covered = Locate(headersOnly);
  ASSERT_TRUE(covered);
  EXPECT_EQ(covered->signature, Signature::Misplaced);
  EXPECT_FALSE(covered->IsValid());
}

TEST_F(SignedPayloadTest, ATableThatDoesNotEndTheFileIsNotWhereThePayloadEnds) {
  // Signed first, packed after: the table lies in the image, the trailer at the end. The payload
  // is outside what the signature covers; the location says so.
  const std::string signedImage = testsigning::Signed(testsigning::MinimalPe(), 64);
  const std::string appended = Packed(signedImage);
  const auto imageOnly = Locate(appended);
  ASSERT_TRUE(imageOnly && imageOnly->IsValid());
  EXPECT_EQ(imageOnly->signature, Signature::ImageOnly);
  EXPECT_EQ(imageOnly->trailerOffset, appended.size() - 16);
  EXPECT_TRUE(RecordsAt(*imageOnly) == kRecords);

  // A table that reaches into the records, or into the trailer: no trailer is read.
  std::string overlapping = Packed(testsigning::MinimalPe());
  const std::uint64_t recordsOffset = testsigning::MinimalPe().size();
  for (const std::uint64_t end : {recordsOffset + 1, static_cast<std::uint64_t>(overlapping.size() - 1)}) {
    testsigning::SetSecurityDirectory(overlapping, 8, static_cast<std::uint32_t>(end - 8));
    const auto found = Locate(overlapping);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->signature, Signature::Misplaced) << end;
    EXPECT_FALSE(found->IsValid()) << end;
  }
}

TEST_F(SignedPayloadTest, ADirectoryPointingOutsideTheFileIsNoPayload) {
  const std::string packed = Packed(testsigning::MinimalPe());
  struct Case {
    std::uint32_t offset, size;
  };
  const auto length = static_cast<std::uint32_t>(packed.size());
  for (const Case c : {Case{length, 8}, Case{length - 8, 16}, Case{0xFFFFFFF0u, 0x20}, Case{16, 0xFFFFFFFFu}}) {
    std::string bytes = packed;
    testsigning::SetSecurityDirectory(bytes, c.offset, c.size);
    const auto found = Locate(bytes);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->signature, Signature::Misplaced) << c.offset << "+" << c.size;
    EXPECT_FALSE(found->IsValid());
  }
}

// Headers that do not name a table: the file is read as an unsigned one.
TEST_F(SignedPayloadTest, HeadersWithoutASecurityDirectoryAreUnsigned) {
  std::string fewDirectories = testsigning::MinimalPe();
  const testsigning::PeLayout layout = testsigning::LayoutOf(fewDirectories);
  testsigning::SetSecurityDirectory(fewDirectories, 8, 8);
  testsigning::Put32(fewDirectories, layout.DirectoryCount(), 4);  // the entry is not one of them
  std::string badMagic = testsigning::MinimalPe();
  testsigning::SetSecurityDirectory(badMagic, 8, 8);
  testsigning::Put16(badMagic, layout.optionalHeader, 0x107);
  std::string farHeaders = testsigning::MinimalPe();
  testsigning::Put32(farHeaders, 0x3C, 0xFFFFFF00u);
  for (const std::string& image : {fewDirectories, badMagic, farHeaders}) {
    const std::string packed = Packed(image);
    const auto found = Locate(packed);
    ASSERT_TRUE(found && found->IsValid());
    EXPECT_EQ(found->signature, Signature::None);
    EXPECT_EQ(found->trailerOffset, packed.size() - 16);
  }
}

}  // namespace
