// GBK conversions for Linux hosts (unit tests, uninst-pack): GBK through iconv; the case rule
// through the C library's Unicode tables.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <vector>

#include "Text.h"
#include "UniqueHandle.h"

namespace fw {
namespace {

struct IconvTraits {
  using pointer = iconv_t;
  static pointer invalid() { return reinterpret_cast<iconv_t>(-1); }
  static void close(pointer cd) {
    const int saved = errno;
    iconv_close(cd);
    errno = saved;
  }
};

// Converts all of `in` or fails: invalid or unrepresentable input gives nullopt.
std::optional<std::string> Convert(const char* to, const char* from, const char* data, std::size_t size) {
  UniqueHandle<IconvTraits> cd(iconv_open(to, from));
  if (!cd) return std::nullopt;
  std::vector<char> out(size * 2 + 16);
  char* in = const_cast<char*>(data);
  std::size_t inLeft = size;
  std::size_t produced = 0;
  for (;;) {
    char* outPtr = out.data() + produced;
    std::size_t outLeft = out.size() - produced;
    const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    produced = out.size() - outLeft;
    if (rc != static_cast<std::size_t>(-1)) {
      // glibc counts irreversible conversions in rc; an exact conversion has none.
      if (rc != 0) return std::nullopt;
      break;
    }
    if (errno != E2BIG) return std::nullopt;
    out.resize(out.size() * 2);
  }
  return std::string(out.data(), produced);
}

}  // namespace

std::optional<std::u16string> GbkToUtf16(std::string_view gbk, BadGbk bad) {
  auto bytes = Convert("UTF-16LE", "GBK", gbk.data(), gbk.size());
  if (!bytes) {
    if (bad == BadGbk::Refuse) return std::nullopt;
    // Character by character: what converts is kept, each byte that does not shows as U+FFFD
    // (the byte after a lead byte that starts no character is read again on its own).
    std::u16string out;
    for (std::size_t i = 0; i < gbk.size();) {
      const std::size_t length = GbkCharLength(gbk, i);
      if (const auto one = GbkToUtf16(gbk.substr(i, length))) {
        out += *one;
        i += length;
      } else {
        out += u'\uFFFD';
        ++i;
      }
    }
    return out;
  }
  std::u16string out(bytes->size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>((*bytes)[2 * i]) |
                                   (static_cast<unsigned char>((*bytes)[2 * i + 1]) << 8));
  }
  return out;
}

std::optional<std::string> Utf16ToGbk(std::u16string_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (char16_t unit : utf16) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return Convert("GBK", "UTF-16LE", bytes.data(), bytes.size());
}

std::u16string UpperCase(std::u16string_view text) {
  // The C library's own UTF-8 locale has the Unicode simple mapping, whatever locale the process
  // runs in (the "C" locale maps ASCII only). Surrogates stay as they are, as on Windows.
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u16string out(text);
  for (char16_t& unit : out) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const wint_t upper = unicode ? towupper_l(unit, unicode) : towupper(unit);
    if (upper <= 0xFFFF && !(upper >= 0xD800 && upper <= 0xDFFF)) unit = static_cast<char16_t>(upper);
  }
  return out;
}

}  // namespace fw
