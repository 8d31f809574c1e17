#pragma once
// Text helpers. The payload's text is 8-bit GBK (code page 936) held in std::string; the remover
// converts each text once, where it reads it, to the UTF-16 the system's wide functions and its
// window take.
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// True for a byte that starts a GBK double-byte character (0x81..0xFE).
constexpr bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// Length in bytes (1 or 2) of the GBK character that starts at `i`. A lead byte at the very end
// (cut text) counts as a character of its own.
constexpr std::size_t GbkCharLength(std::string_view gbk, std::size_t i) {
  return IsGbkLeadByte(static_cast<unsigned char>(gbk[i])) && i + 1 < gbk.size() ? 2 : 1;
}

// Paths are split where Windows splits them: at '\\' and at '/', each as a character of its own.
// The second byte of a double-byte character (0x5C in 乗 = 81 5C) is never a separator; '/'
// (0x2F) is never such a byte.

// '\\' and '/': Windows splits paths at both (any character type; never a GBK trail byte).
template <typename Char>
constexpr bool IsPathSeparator(Char c) {
  return c == static_cast<Char>('\\') || c == static_cast<Char>('/');
}

// "X:\...", "X:/...", or two separators first ("\\server\share...", "//server/share...", device
// paths), as GBK or as UTF-16. Relative, rooted ("\x") and drive-relative ("X:x") paths are not.
bool IsFullyQualified(std::string_view path);
bool IsFullyQualified(std::wstring_view path);
bool IsFullyQualified(std::u16string_view path);

// Position of the last separator that is a character of its own, or npos.
std::string::size_type FindLastSeparator(std::string_view gbk);

// True when the last character of `gbk` is a separator; false for empty text.
bool EndsWithSeparator(std::string_view gbk);

// `gbk` with a backslash appended unless it already ends in a separator (empty text gets one).
std::string WithTrailingSeparator(std::string gbk);

// What a conversion from GBK does with bytes that are not GBK text. Refuse: the whole text gives
// nullopt (a path the system would read otherwise is never acted on). Replace: such bytes show as
// a replacement character (U+FFFD here; on Windows the system's own for code page 936) and the
// conversion never fails (text for a person, where one bad byte must not hide a whole path).
enum class BadGbk { Refuse, Replace };

// Conversions between GBK (code page 936, whatever the machine's own ANSI code page is) and
// UTF-16. Utf16ToGbk is strict: text with no exact GBK form gives nullopt.
std::optional<std::u16string> GbkToUtf16(std::string_view gbk, BadGbk bad = BadGbk::Refuse);
std::optional<std::string> Utf16ToGbk(std::u16string_view utf16);

// The one case rule for names: every UTF-16 unit in upper case, one for one (the length stays),
// by the simple mapping the system compares file names with (on Windows the invariant locale's).
std::u16string UpperCase(std::u16string_view text);

// Strict UTF-8 <-> UTF-16 (no lone surrogates, no overlong forms); nullopt on bad input.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);

}  // namespace fw
