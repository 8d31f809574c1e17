#pragma once
// GBK text at the system's door on Windows: the payload holds GBK, the system's wide (W)
// functions take UTF-16 as std::wstring. Code page 936 always, whatever the machine's ANSI code
// page is.
#include <optional>
#include <string>
#include <string_view>

#include "Text.h"

namespace fw {

// The one conversion from GBK on Windows (GbkToUtf16 is built on it). With BadGbk::Refuse,
// nullopt when `gbk` is not valid GBK; with BadGbk::Replace, never nullopt.
std::optional<std::wstring> GbkToWide(std::string_view gbk, BadGbk bad = BadGbk::Refuse);

// UpperCase (Text.h) for the system's UTF-16: the same rule.
std::wstring UpperCase(std::wstring_view text);

// The system's UTF-16 as the portable code's (the same 16-bit units), and back.
inline std::u16string AsUtf16(std::wstring_view wide) { return std::u16string(wide.begin(), wide.end()); }
inline std::wstring AsWide(std::u16string_view utf16) { return std::wstring(utf16.begin(), utf16.end()); }

}  // namespace fw
