// GBK conversions on Windows: code page 936 named explicitly, never the machine's ANSI code page.
#include <windows.h>

#include "Text.h"
#include "WideText.h"

namespace fw {
namespace {
constexpr UINT kGbk = 936;
}  // namespace

std::optional<std::wstring> GbkToWide(std::string_view gbk, BadGbk bad) {
  if (gbk.empty()) return std::wstring();
  // Without MB_ERR_INVALID_CHARS the system puts its replacement character where bytes are not GBK.
  const DWORD flags = bad == BadGbk::Refuse ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(gbk.size());
  const int needed = MultiByteToWideChar(kGbk, flags, gbk.data(), size, nullptr, 0);
  if (needed <= 0) return bad == BadGbk::Refuse ? std::nullopt : std::optional<std::wstring>(std::wstring());
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(kGbk, flags, gbk.data(), size, wide.data(), needed);
  return wide;
}

std::wstring UpperCase(std::wstring_view text) {
  std::wstring out(text);
  if (!out.empty())
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), out.data(),
                  static_cast<int>(out.size()), nullptr, nullptr, 0);
  return out;
}

std::u16string UpperCase(std::u16string_view text) { return AsUtf16(UpperCase(AsWide(text))); }

std::optional<std::u16string> GbkToUtf16(std::string_view gbk, BadGbk bad) {
  const auto wide = GbkToWide(gbk, bad);
  if (!wide) return std::nullopt;
  return AsUtf16(*wide);
}

std::optional<std::string> Utf16ToGbk(std::u16string_view utf16) {
  if (utf16.empty()) return std::string();
  const std::wstring wide(utf16.begin(), utf16.end());
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                         nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), needed, nullptr,
                      &usedDefault);
  // A lone surrogate converts to '?' without setting usedDefault: check the round trip.
  if (usedDefault || GbkToUtf16(ansi) != std::u16string(utf16)) return std::nullopt;
  return ansi;
}

}  // namespace fw
