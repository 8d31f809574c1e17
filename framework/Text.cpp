#include "Text.h"

namespace fw {
namespace {

template <typename Char>
bool FullyQualified(std::basic_string_view<Char> path) {
  const auto letter = path.size() >= 3 ? (path[0] | 0x20) : 0;
  const bool drive = letter >= 'a' && letter <= 'z' && path[1] == static_cast<Char>(':') && IsPathSeparator(path[2]);
  const bool unc = path.size() > 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
  return drive || unc;
}

}  // namespace

std::string::size_type FindLastSeparator(std::string_view gbk) {
  std::string::size_type found = std::string::npos;
  for (std::string::size_type i = 0; i < gbk.size(); i += GbkCharLength(gbk, i))
    if (IsPathSeparator(gbk[i])) found = i;
  return found;
}

bool IsFullyQualified(std::string_view path) { return FullyQualified(path); }

bool IsFullyQualified(std::wstring_view path) { return FullyQualified(path); }

bool IsFullyQualified(std::u16string_view path) { return FullyQualified(path); }

bool EndsWithSeparator(std::string_view gbk) {
  return !gbk.empty() && FindLastSeparator(gbk) == gbk.size() - 1;
}

std::string WithTrailingSeparator(std::string gbk) {
  if (!EndsWithSeparator(gbk)) gbk += '\\';
  return gbk;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0;
    std::size_t extra = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1Fu, extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0Fu, extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      cp = lead & 0x07u, extra = 3;
    } else {
      return std::nullopt;
    }
    if (utf8.size() - i <= extra) return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(utf8[i + k]);
      if ((cont & 0xC0u) != 0x80u) return std::nullopt;
      cp = (cp << 6) | (cont & 0x3Fu);
    }
    const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace fw
