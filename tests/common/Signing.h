#pragma once
// Signed executables for tests, in memory: a PE image's security directory pointed at a
// certificate table laid out as signing tools leave it, with filler where a real signature's
// PKCS#7 data would be. The launcher only locates the table; it never checks the signature.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace testsigning {

inline std::uint32_t Get16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes.at(at)) | static_cast<unsigned char>(bytes.at(at + 1)) << 8;
}
inline std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  return Get16(bytes, at) | Get16(bytes, at + 2) << 16;
}
inline void Put16(std::string& bytes, std::size_t at, std::uint32_t v) {
  bytes.at(at) = static_cast<char>(v);
  bytes.at(at + 1) = static_cast<char>(v >> 8);
}
inline void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
  Put16(bytes, at, v & 0xFFFF);
  Put16(bytes, at + 2, v >> 16);
}

// Offsets in the headers of a PE image: e_lfanew, the optional header, the security directory's
// entry (offset, size) and NumberOfRvaAndSizes in front of the directories.
struct PeLayout {
  std::size_t pe, optionalHeader, directories;
  std::size_t SecurityEntry() const { return directories + 4 * 8; }
  std::size_t DirectoryCount() const { return directories - 4; }
};

inline PeLayout LayoutOf(const std::string& image) {
  const std::size_t pe = Get32(image, 0x3C);
  const std::size_t optionalHeader = pe + 24;
  const std::uint32_t magic = Get16(image, optionalHeader);
  if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("not a PE32 or PE32+ image");
  return {pe, optionalHeader, optionalHeader + (magic == 0x20B ? 112u : 96u)};
}

// The headers of a PE image as far as its data directories, no sections: "MZ", e_lfanew 0x40,
// "PE\0\0", a COFF header for x86-64, an optional header of `magic` (0x20B PE32+, 0x10B PE32)
// with 16 empty data directories.
inline std::string MinimalPe(std::uint32_t magic = 0x20B) {
  const std::size_t directories = magic == 0x20B ? 112 : 96;
  const std::size_t optionalSize = directories + 16 * 8;
  std::string image(0x40 + 24 + optionalSize, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, 0x40);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  Put16(image, 0x44, 0x8664);                  // Machine
  Put16(image, 0x44 + 16, optionalSize);       // SizeOfOptionalHeader
  Put16(image, 0x44 + 18, 0x0022);             // Characteristics: executable, large-address aware
  Put16(image, 0x58, magic);
  Put32(image, 0x58 + directories - 4, 16);  // NumberOfRvaAndSizes
  return image;
}

inline void SetSecurityDirectory(std::string& image, std::uint32_t offset, std::uint32_t size) {
  const PeLayout layout = LayoutOf(image);
  Put32(image, layout.SecurityEntry(), offset);
  Put32(image, layout.SecurityEntry() + 4, size);
}

// `file` as a signing tool leaves it: zero bytes up to the next 8-byte boundary, then a
// certificate table of `tableSize` bytes (a multiple of 8) that ends the file and that the
// security directory names. The table holds one WIN_CERTIFICATE (length, revision 2.0, type
// PKCS#7) whose last 16 bytes look like a valid trailer, so a reader that took the trailer from
// the end of a signed file would be caught.
inline std::string Signed(std::string file, std::uint32_t tableSize = 512) {
  file.append((8 - file.size() % 8) % 8, '\0');
  const auto offset = static_cast<std::uint32_t>(file.size());
  std::string table(tableSize, '\x5A');
  Put32(table, 0, tableSize);
  Put16(table, 4, 0x0200);
  Put16(table, 6, 0x0002);
  const std::size_t t = tableSize - 16;
  Put32(table, t, 1024);
  Put32(table, t + 4, 0);
  Put32(table, t + 8, 1024 + 16);
  Put32(table, t + 12, 1);
  SetSecurityDirectory(file, offset, tableSize);
  return file + table;
}

}  // namespace testsigning
