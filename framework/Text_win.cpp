// ANSI code page conversions on Windows: the system's code-page functions.
#include <windows.h>

#include "Text.h"

namespace fw {

std::optional<std::u16string> AnsiToUtf16(std::string_view ansi) {
  if (ansi.empty()) return std::u16string();
  const int size = static_cast<int>(ansi.size());
  const int needed = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, wide.data(), needed);
  return std::u16string(wide.begin(), wide.end());
}

std::optional<std::string> Utf16ToAnsi(std::u16string_view utf16) {
  if (utf16.empty()) return std::string();
  const std::wstring wide(utf16.begin(), utf16.end());
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                         nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), needed, nullptr,
                      &usedDefault);
  // A lone surrogate converts to '?' without setting usedDefault: check the round trip.
  if (usedDefault || AnsiToUtf16(ansi) != std::u16string(utf16)) return std::nullopt;
  return ansi;
}

}  // namespace fw
