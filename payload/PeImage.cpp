#include "PeImage.h"

namespace payload {
namespace {

std::uint16_t Le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
  return Le16(bytes, at) | static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16;
}

// `size` bytes at `offset`, when the image holds all of them.
std::optional<std::string_view> At(std::string_view image, std::uint64_t offset, std::uint64_t size) {
  if (offset > image.size() || size > image.size() - offset) return std::nullopt;
  return image.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

PeRead Problem(std::string problem) { return {std::nullopt, std::move(problem)}; }

constexpr std::uint32_t kHighBit = 0x80000000u;

// The resource directory, read by RVA through the sections that hold it.
class ResourceReader {
 public:
  ResourceReader(const PeHeaders& headers, std::string_view image, std::uint32_t base)
      : headers_(headers), image_(image), base_(base) {}

  // `size` bytes at `offset` from the directory's start.
  std::optional<std::string_view> Bytes(std::uint32_t offset, std::uint32_t size) const { return ByRva(base_ + offset, size); }

  std::optional<std::string_view> ByRva(std::uint64_t rva, std::uint32_t size) const {
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    const auto offset = headers_.OffsetOf(static_cast<std::uint32_t>(rva), size);
    if (!offset) return std::nullopt;
    return At(image_, *offset, size);
  }

  // The OffsetToData of the first entry of the directory at `offset` that `matches`.
  template <typename Match>
  std::optional<std::uint32_t> Find(std::uint32_t offset, Match matches) const {
    const auto header = Bytes(offset, 16);
    if (!header) return std::nullopt;
    const std::uint32_t count = Le16(*header, 12) + Le16(*header, 14);  // named, then numbered
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto entry = Bytes(offset + 16 + 8 * i, 8);
      if (!entry) return std::nullopt;
      if (matches(Le32(*entry, 0))) return Le32(*entry, 4);
    }
    return std::nullopt;
  }

  bool NameIs(std::uint32_t name, std::u16string_view wanted) const {
    if ((name & kHighBit) == 0) return false;
    const std::uint32_t at = name & ~kHighBit;
    const auto length = Bytes(at, 2);
    if (!length || Le16(*length, 0) != wanted.size()) return false;
    const auto text = Bytes(at + 2, static_cast<std::uint32_t>(2 * wanted.size()));
    if (!text) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      char16_t a = static_cast<char16_t>(Le16(*text, 2 * i)), b = wanted[i];
      if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - u'a' + u'A');
      if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - u'a' + u'A');
      if (a != b) return false;
    }
    return true;
  }

 private:
  const PeHeaders& headers_;
  std::string_view image_;
  std::uint32_t base_;
};

}  // namespace

std::optional<std::uint64_t> PeHeaders::OffsetOf(std::uint32_t rva, std::uint32_t size) const {
  for (const PeSection& s : sections) {
    const std::uint64_t start = s.virtualAddress;
    if (rva < start) continue;
    const std::uint64_t into = rva - start;
    if (into + size <= s.rawSize) return s.rawOffset + into;
  }
  return std::nullopt;
}

PeRead ReadPeHeaders(std::string_view image) {
  if (image.empty()) return Problem("the file is empty");
  const auto dos = At(image, 0, 64);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') {
    if (image.substr(0, 4) == "\x7F" "ELF") return Problem("it is an ELF file (a Linux or Unix program), not a Windows program");
    return Problem("no \"MZ\" header: it is not a Windows program");
  }
  const std::uint32_t pe = Le32(*dos, 0x3C);
  const auto nt = At(image, pe, 24);
  if (!nt || nt->substr(0, 4) != std::string_view("PE\0\0", 4))
    return Problem("no \"PE\" header where the DOS header points: a DOS program or a damaged file");
  PeHeaders headers;
  headers.machine = Le16(*nt, 4);
  const std::uint16_t sectionCount = Le16(*nt, 6);
  const std::uint16_t optionalSize = Le16(*nt, 20);
  headers.characteristics = Le16(*nt, 22);
  const auto optional = At(image, pe + 24ull, optionalSize);
  if (!optional || optionalSize < 2) return Problem("the optional header runs past the end of the file");
  headers.magic = Le16(*optional, 0);
  std::size_t directories = 0;
  if (headers.magic == 0x10B)
    directories = 96;
  else if (headers.magic == 0x20B)
    directories = 112;
  else
    return Problem("the optional header is neither PE32 nor PE32+");
  if (optionalSize < directories) return Problem("the optional header is too short");
  headers.subsystem = Le16(*optional, 68);
  const std::uint32_t directoryCount = Le32(*optional, directories - 4);
  for (std::uint32_t i = 0; i < directoryCount && directories + 8 * (i + 1) <= optionalSize; ++i)
    headers.directories.push_back({Le32(*optional, directories + 8 * i), Le32(*optional, directories + 8 * i + 4)});
  const auto table = At(image, pe + 24ull + optionalSize, 40ull * sectionCount);
  if (!table) return Problem("the section table runs past the end of the file");
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::size_t s = 40u * i;
    headers.sections.push_back({Le32(*table, s + 12), Le32(*table, s + 8), Le32(*table, s + 20), Le32(*table, s + 16)});
    const PeSection& section = headers.sections.back();
    if (!At(image, section.rawOffset, section.rawSize))
      return Problem("section " + std::to_string(i) + "'s data runs past the end of the file (a cut copy?)");
  }
  return {std::move(headers), ""};
}

std::optional<std::string_view> FindPeResource(const PeHeaders& headers, std::string_view image,
                                               std::u16string_view typeName, std::uint16_t id) {
  if (headers.directories.size() <= PeHeaders::kResourceDirectory) return std::nullopt;
  const PeDirectory& directory = headers.directories[PeHeaders::kResourceDirectory];
  if (directory.rva == 0 || directory.size == 0) return std::nullopt;
  const ResourceReader reader(headers, image, directory.rva);
  // Type, then name, then language: the first two lead to sub-directories (high bit set), the
  // language to a data entry (high bit clear).
  const auto type = reader.Find(0, [&](std::uint32_t name) { return reader.NameIs(name, typeName); });
  if (!type || (*type & kHighBit) == 0) return std::nullopt;
  const auto named = reader.Find(*type & ~kHighBit, [&](std::uint32_t name) { return name == id; });
  if (!named || (*named & kHighBit) == 0) return std::nullopt;
  const auto language = reader.Find(*named & ~kHighBit, [](std::uint32_t) { return true; });
  if (!language || (*language & kHighBit) != 0) return std::nullopt;
  const auto entry = reader.Bytes(*language, 16);
  if (!entry) return std::nullopt;
  return reader.ByRva(Le32(*entry, 0), Le32(*entry, 4));
}

}  // namespace payload
