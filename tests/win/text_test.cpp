// Text and archive conversions where the ANSI code page is the system's (936 in the prefix).
#include "Archive.h"
#include "Dialog.h"
#include "Text.h"
#include "WinScratch.h"

namespace {

TEST(WinText, TheHarnessRunsWithCodePage936) { EXPECT_EQ(GetACP(), 936u); }

TEST(WinText, AnsiConversionsUseTheSystemCodePage) {
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
