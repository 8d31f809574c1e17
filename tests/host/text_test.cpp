#include <gtest/gtest.h>

#include "GbkRange.h"
#include "Text.h"

namespace {

// GBK characters whose trail byte is 0x5C, the byte of a backslash.
const std::string kNori = "\x81\x5C";   // 乗
const std::string kJing = "\x82\x5C";   // 俓
const std::string kZhong = "\xD6\xD0";  // 中

TEST(GbkSeparator, TrailByteIsNotABackslash) {
  EXPECT_FALSE(fw::EndsWithSeparator("C:\\Korvane\\" + kNori));
  EXPECT_FALSE(fw::EndsWithSeparator(kJing));
  EXPECT_TRUE(fw::EndsWithSeparator("C:\\Korvane\\" + kNori + "\\"));
  EXPECT_TRUE(fw::EndsWithSeparator("C:\\"));
  EXPECT_FALSE(fw::EndsWithSeparator(""));
  EXPECT_FALSE(fw::EndsWithSeparator("C:\\a"));
  // A lead byte with no trail byte (cut text) is a byte of its own; a backslash before it is not last.
  EXPECT_FALSE(fw::EndsWithSeparator("C:\\\x81"));
  // Alignment matters: after a single-byte char, "\x5C" is a real backslash.
  EXPECT_TRUE(fw::EndsWithSeparator("a\\"));
  EXPECT_TRUE(fw::EndsWithSeparator(kZhong + kNori + "\\"));
}

// Windows splits paths at '/' as at a backslash: "C:/x/" must not become "C:/x/" + "\\Resource.ini".
TEST(GbkSeparator, SlashIsASeparatorToo) {
  EXPECT_TRUE(fw::EndsWithSeparator("C:/Program Files/Korvane/"));
  EXPECT_TRUE(fw::EndsWithSeparator("C:/" + kNori + "/"));
  EXPECT_FALSE(fw::EndsWithSeparator("C:/Program Files/Korvane"));
  EXPECT_EQ(fw::WithTrailingSeparator("C:/Program Files/Korvane/") + "Resource.ini", "C:/Program Files/Korvane/Resource.ini");
  EXPECT_EQ(fw::WithTrailingSeparator("C:/Program Files/Korvane") + "Resource.ini", "C:/Program Files/Korvane\\Resource.ini");
  EXPECT_EQ(fw::FindLastSeparator("C:\\a/b\\c/d"), 8u);
  EXPECT_EQ(fw::FindLastSeparator("C:/" + kNori + kJing), 2u) << "trail bytes 0x5C are still no separator";
}

TEST(GbkSeparator, AppendsOnlyWhereMissing) {
  EXPECT_EQ(fw::WithTrailingSeparator("C:\\Korvane\\" + kNori), "C:\\Korvane\\" + kNori + "\\");
  EXPECT_EQ(fw::WithTrailingSeparator("C:\\Korvane\\"), "C:\\Korvane\\");
  EXPECT_EQ(fw::WithTrailingSeparator(""), "\\");
}

TEST(GbkSeparator, FindsTheLastRealBackslash) {
  const std::string path = "C:\\" + kNori + "\\" + kJing;
  EXPECT_EQ(fw::FindLastSeparator(path), 3u + kNori.size());
  EXPECT_EQ(fw::FindLastSeparator(kNori + kJing), std::string::npos);
}

TEST(FullyQualified, DriveAndSeparatorOrTwoSeparatorsWhicheverSeparator) {
  for (const char* path : {"C:\\", "c:\\Korvane", "C:/", "C:/Program Files/Korvane/", "Z:/a\\b", "\\\\server\\share",
                           "//server/share/Korvane", "\\/server", "\\\\?\\C:\\x", "//./PhysicalDrive0"})
    EXPECT_TRUE(fw::IsFullyQualified(path)) << path;
  for (const char* path : {"", "C:", "C:Korvane", "C:Korvane/x", "\\Korvane", "/Korvane", "Korvane/x", "\\\\",
                           "1:/x", "CC:/x"})
    EXPECT_FALSE(fw::IsFullyQualified(path)) << path;
}

TEST(TextConversion, GbkAndUtf16RoundTrip) {
  const auto wide = fw::GbkToUtf16(kZhong + kNori + "x");
  ASSERT_TRUE(wide);
  EXPECT_EQ(*wide, u"中乗x");
  EXPECT_EQ(fw::Utf16ToGbk(*wide), kZhong + kNori + "x");
  EXPECT_EQ(fw::GbkToUtf16(""), u"");
}

// The whole GBK range with the host's converter (glibc); tests/win runs it with the system's.
TEST(TextConversion, EveryGbkCharacterRoundTripsThroughUtf16) { gbkrange::ExpectEveryCharacterRoundTrips(); }

TEST(TextConversion, RefusesWhatHasNoExactForm) {
  EXPECT_FALSE(fw::Utf16ToGbk(u"\U0001F600"));          // not in GBK
  EXPECT_FALSE(fw::Utf16ToGbk(std::u16string(1, 0xD800)));  // lone surrogate
  EXPECT_FALSE(fw::GbkToUtf16("\x81"));                  // cut double-byte character
}

// Text for a person: a byte that is not GBK shows as U+FFFD, and the rest of the path stays (the
// byte after a lead byte that starts no character is read on its own).
TEST(TextConversion, ReplacingShowsEveryGoodCharacterOfABadText) {
  EXPECT_EQ(fw::GbkToUtf16(kZhong + "\\d\x81", fw::BadGbk::Replace), u"中\\d\uFFFD");
  EXPECT_EQ(fw::GbkToUtf16("\xFF\\x" + kZhong, fw::BadGbk::Replace), u"\uFFFD\\x中");
  EXPECT_EQ(fw::GbkToUtf16("\x81\x7Fx", fw::BadGbk::Replace), u"\uFFFD\x7Fx");
  EXPECT_EQ(fw::GbkToUtf16(kZhong + kNori, fw::BadGbk::Replace), u"中乗");
  EXPECT_FALSE(fw::GbkToUtf16(kZhong + "\\d\x81"));
}

TEST(TextConversion, Utf8IsStrict) {
  EXPECT_EQ(fw::Utf8ToUtf16("\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"中\U0001F600");
  EXPECT_EQ(fw::Utf16ToUtf8(u"中\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_FALSE(fw::Utf8ToUtf16("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(fw::Utf8ToUtf16("\xED\xA0\x80"));      // encoded surrogate
  EXPECT_FALSE(fw::Utf8ToUtf16("\xE4\xB8"));          // cut sequence
  EXPECT_FALSE(fw::Utf16ToUtf8(std::u16string(1, 0xDC00)));
}

}  // namespace
