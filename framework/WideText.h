#pragma once
// GBK text at the system's door: the program holds GBK, the system's wide (W) functions take
// UTF-16. Code page 936 always, whatever the machine's ANSI code page is.
#include <optional>
#include <string>
#include <string_view>

#include "Text.h"

namespace fw {

// nullopt when `gbk` is not valid GBK.
inline std::optional<std::wstring> GbkToWide(std::string_view gbk) {
  const auto utf16 = GbkToUtf16(gbk);
  if (!utf16) return std::nullopt;
  return std::wstring(utf16->begin(), utf16->end());
}

// nullopt when `wide` has a character with no exact GBK form.
inline std::optional<std::string> WideToGbk(std::wstring_view wide) {
  return Utf16ToGbk(std::u16string(wide.begin(), wide.end()));
}

inline std::u16string AsUtf16(std::wstring_view wide) { return std::u16string(wide.begin(), wide.end()); }

}  // namespace fw
