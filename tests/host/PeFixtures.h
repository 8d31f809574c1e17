#pragma once
// PE images for host tests, in memory: a remover (a GUI program with no resources) and a launcher
// that carries one as resource "UNINSTALLER" 131 in a .rsrc section, laid out as a resource
// compiler leaves it (type directory, name directory, language directory, data entry).
#include <cstdint>
#include <string>

#include "Signing.h"

namespace testpe {

using testsigning::Put16;
using testsigning::Put32;

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionOffset = 0x200;

// A GUI program for x64 (magic 0x20B) or x86 (0x10B) with no sections.
inline std::string Program(std::uint32_t magic = 0x20B) {
  std::string image = testsigning::MinimalPe(magic);
  if (magic == 0x10B) Put16(image, 0x44, 0x14C);  // Machine: i386
  Put16(image, 0x58 + 68, 2);                      // Subsystem: Windows GUI
  return image;
}

// `program` with one section holding a resource directory whose only resource is of type
// `type` (a name) and id `id`, holding `data`.
inline std::string WithResource(std::string program, const std::string& data, const std::u16string& type = u"UNINSTALLER",
                                std::uint16_t id = 131) {
  std::string rsrc(16 + 8 + 16 + 8 + 16 + 8 + 16, '\0');  // three directories of one entry, a data entry
  const std::uint32_t name = static_cast<std::uint32_t>(rsrc.size());
  rsrc.resize(rsrc.size() + 2 + 2 * type.size());
  Put16(rsrc, name, static_cast<std::uint32_t>(type.size()));
  for (std::size_t i = 0; i < type.size(); ++i) Put16(rsrc, name + 2 + 2 * i, type[i]);
  rsrc.resize((rsrc.size() + 7) / 8 * 8);
  const std::uint32_t dataAt = static_cast<std::uint32_t>(rsrc.size());
  rsrc += data;

  Put16(rsrc, 12, 1);                    // root: one named entry
  Put32(rsrc, 16, 0x80000000u | name);   // the type's name
  Put32(rsrc, 20, 0x80000000u | 24);     // -> the name directory
  Put16(rsrc, 24 + 14, 1);               // names: one numbered entry
  Put32(rsrc, 40, id);
  Put32(rsrc, 44, 0x80000000u | 48);     // -> the language directory
  Put16(rsrc, 48 + 14, 1);               // languages: one numbered entry
  Put32(rsrc, 64, 0x804);
  Put32(rsrc, 68, 72);                   // -> the data entry
  Put32(rsrc, 72, kSectionRva + dataAt);
  Put32(rsrc, 76, static_cast<std::uint32_t>(data.size()));

  const testsigning::PeLayout layout = testsigning::LayoutOf(program);
  Put16(program, layout.pe + 6, 1);  // NumberOfSections
  const std::size_t sectionHeader = layout.optionalHeader + testsigning::Get16(program, layout.pe + 20);
  program.resize(kSectionOffset, '\0');
  program.replace(sectionHeader, 6, ".rsrc\0", 6);
  Put32(program, sectionHeader + 8, static_cast<std::uint32_t>(rsrc.size()));  // VirtualSize
  Put32(program, sectionHeader + 12, kSectionRva);
  Put32(program, sectionHeader + 16, static_cast<std::uint32_t>(rsrc.size()));  // SizeOfRawData
  Put32(program, sectionHeader + 20, kSectionOffset);
  Put32(program, layout.directories + 2 * 8, kSectionRva);  // the resource directory
  Put32(program, layout.directories + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));
  return program + rsrc;
}

// A launcher as this project builds it: a program that carries a remover.
inline std::string Launcher(std::uint32_t magic = 0x20B) { return WithResource(Program(magic), Program(magic)); }

}  // namespace testpe
