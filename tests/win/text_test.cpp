// Text and archive conversions where the ANSI code page is the system's (936 in the prefix).
#include "Archive.h"
#include "Dialog.h"
#include "Text.h"
#include "WinScratch.h"

namespace {

TEST(WinText, TheHarnessRunsWithCodePage936) { EXPECT_EQ(GetACP(), 936u); }

// Every two-byte GBK character (lead 81..FE, trail 40..FE but 7F) that converts comes back
// unchanged, and nearly all of GBK's 21,886 characters convert (converters differ on a few dozen
// symbol and user-area positions: 21,791 with glibc's GBK).
TEST(WinText, EveryGbkCharacterRoundTripsThroughUtf16) {
  int converted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      const auto wide = fw::GbkToUtf16(gbk);
      if (!wide) continue;
      ++converted;
      ASSERT_EQ(wide->size(), 1u) << lead << " " << trail;
      ASSERT_EQ(fw::Utf16ToGbk(*wide), gbk) << lead << " " << trail;
    }
  }
  EXPECT_GE(converted, 21700);
  for (int ascii = 1; ascii < 0x80; ++ascii) {
    const std::string one(1, static_cast<char>(ascii));
    EXPECT_EQ(fw::Utf16ToGbk(fw::GbkToUtf16(one).value()), one);
  }
}

// Code page 936 explicitly: the same results whatever the machine's ANSI code page is.
TEST(WinText, GbkConversionsUseCodePage936) {
  EXPECT_EQ(fw::GbkToUtf16("\xD6\xD0\x81\x5C"), u"中乗");
  EXPECT_EQ(fw::Utf16ToGbk(u"中乗"), "\xD6\xD0\x81\x5C");
  EXPECT_FALSE(fw::Utf16ToGbk(u"\U0001F600"));
  EXPECT_FALSE(fw::Utf16ToGbk(u"\u00C5"));  // no exact GBK form: no best-fit 'A'
  EXPECT_FALSE(fw::Utf16ToGbk(std::u16string(1, 0xD800)));
}

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

namespace {

TEST(WinMessageBox, BoxesWithoutAnIconGetTheFrameworkDefault) {
  EXPECT_EQ(fw::MessageBoxType(MB_OK), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(fw::MessageBoxType(MB_YESNO), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(fw::MessageBoxType(MB_OK | MB_ICONSTOP), static_cast<UINT>(MB_OK | MB_ICONSTOP));
  EXPECT_EQ(fw::MessageBoxType(MB_RETRYCANCEL), static_cast<UINT>(MB_RETRYCANCEL));
}

TEST(WinMessageBox, TheApplicationNameIsTheExecutableWithoutExtension) {
  EXPECT_STREQ(fw::ApplicationName(), L"framework_win_tests");
}

}  // namespace
