// SHA-256 against the FIPS 180 examples and, at the lengths where the padding changes shape,
// digests from a reference implementation; the message fed whole and in uneven pieces.
#include <gtest/gtest.h>

#include <string>

#include "File.h"
#include "Sha256.h"
#include "TestFiles.h"

namespace {

std::string Hex(const fw::Sha256Digest& digest) {
  std::string text;
  for (std::uint8_t byte : digest) {
    text += "0123456789abcdef"[byte >> 4];
    text += "0123456789abcdef"[byte & 15];
  }
  return text;
}

std::string DigestOf(const std::string& message) {
  fw::Sha256 whole;
  whole.Update(message.data(), message.size());
  return Hex(whole.Digest());
}

TEST(Sha256Test, KnownDigests) {
  EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // 55 bytes leave room for the length in the last block, 56 do not; 64 fill a block.
  const std::pair<std::size_t, const char*> lengths[] = {
      {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {119, "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {120, "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"}};
  for (const auto& [length, digest] : lengths) EXPECT_EQ(DigestOf(std::string(length, 'a')), digest) << length;
}

// A million 'a's fed in pieces of every size from 1 to 130 bytes, crossing block borders at every
// offset; asking for the digest on the way changes nothing.
TEST(Sha256Test, PiecesAndEarlyDigestsGiveTheDigestOfTheWhole) {
  const std::string million(1000000, 'a');
  fw::Sha256 pieces;
  std::size_t done = 0;
  for (std::size_t size = 1; done < million.size(); size = size % 130 + 1) {
    const std::size_t take = std::min(size, million.size() - done);
    pieces.Update(million.data() + done, take);
    done += take;
    if (done == 3) {
      EXPECT_EQ(Hex(pieces.Digest()), DigestOf("aaa"));
    }
  }
  EXPECT_EQ(Hex(pieces.Digest()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class FileDigestTest : public testing_files::ScratchDir {};

// What a file is given to write goes into the digest while it is watched; the content read back
// has that digest, and a byte changed afterwards changes it.
TEST_F(FileDigestTest, WrittenBytesAndTheContentReadBackHaveOneDigest) {
  const std::string first(70000, 'x'), second = "tail", later = "after";
  fw::Sha256 written;
  fw::File file;
  ASSERT_TRUE(file.Open(Path("f"), fw::File::Mode::CreateWrite));
  file.DigestWrites(&written);
  file.Write(first.data(), first.size());
  file.Write(second.data(), second.size());
  file.DigestWrites(nullptr);
  file.Write(later.data(), later.size());
  file.Close();
  EXPECT_EQ(Hex(written.Digest()), DigestOf(first + second)) << "only what was written while watched";

  ASSERT_TRUE(file.Open(Path("f"), fw::File::Mode::Read));
  EXPECT_EQ(Hex(fw::ContentDigest(file)), DigestOf(first + second + later));
  EXPECT_EQ(Hex(fw::ContentDigest(file)), DigestOf(first + second + later)) << "read again from the start";
  file.Close();
  testing_files::WriteAll(Path("f"), first + second + "AFTER");
  ASSERT_TRUE(file.Open(Path("f"), fw::File::Mode::Read));
  EXPECT_NE(Hex(fw::ContentDigest(file)), DigestOf(first + second + later));
}

}  // namespace
