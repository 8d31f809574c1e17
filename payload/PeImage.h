#pragma once
// The headers of a PE image (PE/COFF: "MZ", "PE\0\0", the COFF file header, the optional header,
// the section table) and its resource directory, read from the image's bytes with every read
// checked against them. Portable: uninst-pack uses it to tell a launcher from other files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

struct PeSection {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;  // PointerToRawData
  std::uint32_t rawSize = 0;    // SizeOfRawData
};

struct PeDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

struct PeHeaders {
  static constexpr std::uint16_t kMachineI386 = 0x14C;
  static constexpr std::uint16_t kMachineAmd64 = 0x8664;
  static constexpr std::uint16_t kExecutableImage = 0x0002;  // IMAGE_FILE_EXECUTABLE_IMAGE
  static constexpr std::uint16_t kDll = 0x2000;              // IMAGE_FILE_DLL
  static constexpr std::uint16_t kSubsystemGui = 2;          // IMAGE_SUBSYSTEM_WINDOWS_GUI
  static constexpr std::size_t kResourceDirectory = 2;

  std::uint16_t machine = 0;
  std::uint16_t characteristics = 0;
  std::uint16_t magic = 0;  // 0x10B PE32, 0x20B PE32+
  std::uint16_t subsystem = 0;
  std::vector<PeDirectory> directories;
  std::vector<PeSection> sections;

  // The file offset of `size` bytes at `rva`, when one section's raw data holds all of them.
  std::optional<std::uint64_t> OffsetOf(std::uint32_t rva, std::uint32_t size) const;
};

// The headers of `image`, or in `problem` why it is not a PE image (in words a vendor reads:
// "no \"MZ\" header", "the section table runs past the end of the file", ...).
struct PeRead {
  std::optional<PeHeaders> headers;
  std::string problem;
};
PeRead ReadPeHeaders(std::string_view image);

// The data of the resource of type `typeName` (a named type; names compare ASCII
// case-insensitively, as FindResource does) and numeric id `id`, in its first language. nullopt
// when the image has no such resource or its resource directory or data lie outside the file.
std::optional<std::string_view> FindPeResource(const PeHeaders& headers, std::string_view image,
                                               std::u16string_view typeName, std::uint16_t id);

}  // namespace payload
