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

enum class Direction { FromGbk, ToGbk };

// One converter per direction and thread, opened once: opening one costs more than converting a
// path (uninst-pack converts every path of a 100,000-file payload), and set back to its initial
// state before each use, after a conversion that failed half way.
iconv_t Converter(Direction direction) {
  thread_local UniqueHandle<IconvTraits> fromGbk(iconv_open("UTF-16LE", "GBK"));
  thread_local UniqueHandle<IconvTraits> toGbk(iconv_open("GBK", "UTF-16LE"));
  const UniqueHandle<IconvTraits>& cd = direction == Direction::FromGbk ? fromGbk : toGbk;
  if (!cd) return IconvTraits::invalid();
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  return cd.get();
}

// Converts all of `in` or fails: invalid or unrepresentable input gives nullopt.
std::optional<std::string> Convert(Direction direction, const char* data, std::size_t size) {
  const iconv_t cd = Converter(direction);
  if (cd == IconvTraits::invalid()) return std::nullopt;
  std::vector<char> out(size * 2 + 16);
  char* in = const_cast<char*>(data);
  std::size_t inLeft = size;
  std::size_t produced = 0;
  for (;;) {
    char* outPtr = out.data() + produced;
    std::size_t outLeft = out.size() - produced;
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
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
  auto bytes = Convert(Direction::FromGbk, gbk.data(), gbk.size());
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
  return Convert(Direction::ToGbk, bytes.data(), bytes.size());
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
