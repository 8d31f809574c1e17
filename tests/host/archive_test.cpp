#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "Archive.h"
#include "TestFiles.h"

// The largest single allocation made while a test watches: a hostile length must never turn into
// an allocation larger than the file.
static std::atomic<std::size_t> g_largestAllocation{0};

void* operator new(std::size_t size) {
  std::size_t seen = g_largestAllocation.load();
  while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace std::string_literals;
using fw::Archive;
using fw::ArchiveError;
using testing_files::ReadAll;
using testing_files::WriteAll;

class ArchiveTest : public testing_files::ScratchDir {
 protected:
  // Bytes an archive writes for `fill`.
  template <typename Fill>
  std::string Written(Fill fill) {
    const std::string path = Path("out.bin");
    fw::File file;
    EXPECT_TRUE(file.Open(path, fw::File::Mode::CreateWrite));
    Archive archive(file, Archive::Mode::Store);
    fill(archive);
    archive.Close();
    file.Close();
    return ReadAll(path);
  }

  // Opens a load archive over `bytes` and hands it to `read`.
  template <typename Read>
  void Loaded(const std::string& bytes, Read read) {
    const std::string path = Path("in.bin");
    WriteAll(path, bytes);
    fw::File file;
    ASSERT_TRUE(file.Open(path, fw::File::Mode::Read));
    Archive archive(file, Archive::Mode::Load);
    read(archive);
  }

  std::string ReadOne(const std::string& bytes) {
    std::string out;
    Loaded(bytes, [&](Archive& a) { out = a.ReadString(); });
    return out;
  }

  ArchiveError::Kind FailureOf(const std::string& bytes) {
    try {
      ReadOne(bytes);
    } catch (const ArchiveError& e) {
      return e.kind();
    }
    ADD_FAILURE() << "no archive error";
    return ArchiveError::Kind::Generic;
  }
};

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

TEST_F(ArchiveTest, LengthPrefixFormsAtEveryBoundary) {
  struct Case {
    std::size_t length;
    std::string prefix;
  };
  const Case cases[] = {
      {0, "\x00"s},
      {254, "\xFE"},
      {255, "\xFF\xFF\x00"s},
      {0xFFFD, "\xFF\xFD\xFF"},
      {0xFFFE, "\xFF\xFF\xFF" + Le32(0xFFFE)},  // never 0xFF FFFE: that is the wide marker
      {0xFFFF, "\xFF\xFF\xFF" + Le32(0xFFFF)},
      {0x10000, "\xFF\xFF\xFF" + Le32(0x10000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, 'k');
    const std::string bytes = Written([&](Archive& a) { a.WriteString(text); });
    ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
    EXPECT_EQ(bytes.substr(0, c.prefix.size()), c.prefix);
    EXPECT_EQ(ReadOne(bytes), text);
  }
}

TEST_F(ArchiveTest, ReadsEveryPrefixFormEvenWhereLongerThanNeeded) {
  EXPECT_EQ(ReadOne("\xFF\x03\x00"s + "abc"), "abc");
  EXPECT_EQ(ReadOne("\xFF\xFF\xFF" + Le32(3) + "abc"), "abc");
  EXPECT_EQ(ReadOne("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(3) + Le32(0) + "abc"), "abc");
}

TEST_F(ArchiveTest, BadLengthsAreErrorsOfTheRightKind) {
  // 64-bit length above 0x7FFFFFFF: a format error, whatever follows.
  EXPECT_EQ(FailureOf("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0x80000000) + Le32(0) + "abc"), ArchiveError::Kind::Generic);
  EXPECT_EQ(FailureOf("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0) + Le32(1)), ArchiveError::Kind::Generic);
  // A declared length beyond the end of the file: end of file.
  EXPECT_EQ(FailureOf("\x05" "abc"), ArchiveError::Kind::EndOfFile);
  EXPECT_EQ(FailureOf("\xFF\xFF\xFF" + Le32(0xFFFFFFFE) + "abc"), ArchiveError::Kind::EndOfFile);
  EXPECT_EQ(FailureOf("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0x7FFFFFFF) + Le32(0)), ArchiveError::Kind::EndOfFile);
  EXPECT_EQ(FailureOf("\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0x40000000)), ArchiveError::Kind::EndOfFile);
  // Prefixes cut short.
  EXPECT_EQ(FailureOf(""), ArchiveError::Kind::EndOfFile);
  EXPECT_EQ(FailureOf("\xFF\x01"), ArchiveError::Kind::EndOfFile);
  EXPECT_EQ(FailureOf("\xFF\xFF\xFF\x01\x00"s), ArchiveError::Kind::EndOfFile);
}

TEST_F(ArchiveTest, HostileLengthsAllocateNoMoreThanTheFileHolds) {
  const std::string hostile[] = {
      "\xFF\xFF\xFF" + Le32(0xFFFFFFFE),
      "\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Le32(0x7FFFFFFF) + Le32(0),
      "\xFF\xFE\xFF\xFF\xFF\xFF\xFF" + Le32(0x7FFFFFFF),  // wide: twice as many bytes
  };
  for (const std::string& bytes : hostile) {
    g_largestAllocation = 0;
    EXPECT_THROW(ReadOne(bytes), ArchiveError);
    EXPECT_LT(g_largestAllocation.load(), 64u * 1024) << "allocated for a length the file cannot hold";
  }
}

TEST_F(ArchiveTest, WideStringsAreReadAsGbk) {
  // Marker 0xFF 0xFFFE, then the character count in the usual prefix forms, then UTF-16LE.
  EXPECT_EQ(ReadOne("\xFF\xFE\xFF\x02" "\x2D\x4E\x87\x65"), "\xD6\xD0\xCE\xC4");  // 中文
  EXPECT_EQ(ReadOne("\xFF\xFE\xFF\x00"s), "");
  std::string longWide = "\xFF\xFE\xFF\xFF" + Le16(300);
  for (int i = 0; i < 300; ++i) longWide += "a\x00"s;
  EXPECT_EQ(ReadOne(longWide), std::string(300, 'a'));
  std::string widest = "\xFF\xFE\xFF\xFF\xFF\xFF" + Le32(2) + "C\x00:\x00"s;
  EXPECT_EQ(ReadOne(widest), "C:");
}

TEST_F(ArchiveTest, WideTextWithoutAnExactGbkFormIsRefused) {
  // An emoji would become '?', a wildcard in a path the remover searches and deletes.
  EXPECT_EQ(FailureOf("\xFF\xFE\xFF\x02" "\x3D\xD8\x00\xDE"s), ArchiveError::Kind::Generic);
  EXPECT_EQ(FailureOf("\xFF\xFE\xFF\x01" "\x00\xD8"s), ArchiveError::Kind::Generic);  // lone surrogate
  EXPECT_EQ(FailureOf("\xFF\xFE\xFF\x02" "a\x00"s), ArchiveError::Kind::EndOfFile);   // half the characters
}

TEST_F(ArchiveTest, IntegersAreFourBytesLittleEndian) {
  const std::string bytes = Written([](Archive& a) {
    a.WriteInt32(1);
    a.WriteInt32(-2);
  });
  EXPECT_EQ(bytes, "\x01\x00\x00\x00\xFE\xFF\xFF\xFF"s);
  Loaded(bytes + "\x01\x02"s, [](Archive& a) {
    EXPECT_EQ(a.ReadInt32(), 1);
    EXPECT_EQ(a.ReadInt32(), -2);
    EXPECT_EQ(a.Offset(), 8u);
    try {
      a.ReadInt32();
      ADD_FAILURE() << "read past the end";
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.kind(), ArchiveError::Kind::EndOfFile);
      EXPECT_EQ(e.offset(), 8u);
    }
  });
}

TEST_F(ArchiveTest, ItemsCrossBufferBoundaries) {
  // Strings and integers that straddle the 4096-byte buffer in both directions.
  const std::string big(Archive::kBufferSize * 2 + 7, 'x');
  const std::string bytes = Written([&](Archive& a) {
    a.WriteString(std::string(4090, 'a'));
    a.WriteInt32(0x01020304);
    a.WriteString(big);
    a.WriteString("tail");
  });
  Loaded(bytes, [&](Archive& a) {
    EXPECT_EQ(a.ReadString(), std::string(4090, 'a'));
    EXPECT_EQ(a.ReadInt32(), 0x01020304);
    EXPECT_EQ(a.ReadString(), big);
    EXPECT_EQ(a.ReadString(), "tail");
  });
}

TEST_F(ArchiveTest, ArchiveStartsAtTheFilePosition) {
  const std::string path = Path("pos.bin");
  WriteAll(path, "IMAGE\x03" "abc");
  fw::File file;
  ASSERT_TRUE(file.Open(path, fw::File::Mode::Read));
  file.Seek(5, fw::File::SeekFrom::Begin);
  Archive archive(file, Archive::Mode::Load);
  EXPECT_EQ(archive.Offset(), 5u);
  EXPECT_EQ(archive.ReadString(), "abc");
}

TEST_F(ArchiveTest, ReadLineSplitsAtLfAndCrLf) {
  std::string text = "[Resource]\r\nabcdSkins=1\n\nlone\rcr\r\n" + std::string(5000, 'z') + "\nlast";
  Loaded(text, [](Archive& a) {
    std::string line;
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, "[Resource]");
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, "abcdSkins=1");
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, "lone\rcr");
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, std::string(5000, 'z'));
    ASSERT_TRUE(a.ReadLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(a.ReadLine(line));
    EXPECT_FALSE(a.ReadLine(line));
  });
  Loaded("", [](Archive& a) {
    std::string line;
    EXPECT_FALSE(a.ReadLine(line));
  });
}

}  // namespace
