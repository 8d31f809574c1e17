// Text conversions where the ANSI code page is the system's (936 in the prefix).
#include <gtest/gtest.h>
#include <windows.h>

#include "GbkRange.h"
#include "Text.h"
#include "WideText.h"

namespace {

TEST(WinText, TheHarnessRunsWithCodePage936) { EXPECT_EQ(GetACP(), 936u); }

TEST(WinText, EveryGbkCharacterRoundTripsThroughUtf16) { gbkrange::ExpectEveryCharacterRoundTrips(); }

// Code page 936 explicitly: the same results whatever the machine's ANSI code page is.
TEST(WinText, GbkConversionsUseCodePage936) {
  EXPECT_EQ(fw::GbkToUtf16("\xD6\xD0\x81\x5C"), u"中乗");
  EXPECT_EQ(fw::Utf16ToGbk(u"中乗"), "\xD6\xD0\x81\x5C");
  EXPECT_FALSE(fw::Utf16ToGbk(u"\U0001F600"));
  EXPECT_FALSE(fw::Utf16ToGbk(u"\u00C5"));  // no exact GBK form: no best-fit 'A'
  EXPECT_FALSE(fw::Utf16ToGbk(std::u16string(1, 0xD800)));
}

// What the status line shows: every good character of a text that is not GBK, never nothing.
TEST(WinText, ReplacingKeepsTheGoodPartOfABadText) {
  EXPECT_EQ(fw::GbkToWide("C:\\\xD6\xD0", fw::BadGbk::Replace), L"C:\\中");
  EXPECT_FALSE(fw::GbkToWide("C:\\d\x81"));
  const auto shown = fw::GbkToWide("C:\\d\x81", fw::BadGbk::Replace);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->substr(0, 4), L"C:\\d");
  EXPECT_EQ(shown->size(), 5u);
}

}  // namespace
