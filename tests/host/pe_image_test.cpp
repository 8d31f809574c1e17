// The PE header and resource directory reader uninst-pack tells launchers by.
#include <gtest/gtest.h>

#include <vector>

#include "PeFixtures.h"
#include "PeImage.h"

namespace {

using payload::FindPeResource;
using payload::ReadPeHeaders;

TEST(PeImageTest, FindsTheResourceDataByTypeNameAndId) {
  const std::string data = "the remover's bytes";
  for (const std::uint32_t magic : {0x20Bu, 0x10Bu}) {
    const std::string image = testpe::WithResource(testpe::Program(magic), data);
    const payload::PeRead read = ReadPeHeaders(image);
    ASSERT_TRUE(read.headers) << read.problem;
    EXPECT_EQ(read.headers->magic, magic);
    EXPECT_EQ(read.headers->subsystem, payload::PeHeaders::kSubsystemGui);
    const auto found = FindPeResource(*read.headers, image, u"uninstaller", 131);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, data);
    EXPECT_FALSE(FindPeResource(*read.headers, image, u"UNINSTALLER", 130));
    EXPECT_FALSE(FindPeResource(*read.headers, image, u"UNINSTALLE", 131));
    EXPECT_FALSE(FindPeResource(*read.headers, image, u"UNINSTALLERS", 131));
  }
}

// Every offset the directory holds is checked against the file: a damaged or cut launcher gives
// no resource, never a read outside the image (ASan watches).
TEST(PeImageTest, DamagedResourceDirectoriesGiveNothing) {
  const std::string image = testpe::Launcher();
  const std::size_t rsrc = testpe::kSectionOffset;
  const std::vector<std::vector<std::pair<std::size_t, std::uint32_t>>> spoilers = {
      {{rsrc + 16, 5}, {rsrc + 12, 0xFFFF}},  // no match among entries that run past the section
      {{rsrc + 16, 0x8FFFFFFF}},              // the type's name far outside
      {{rsrc + 20, 0x80FFFFF0}},              // the type's directory far outside
      {{rsrc + 44, 72}},                      // the name level leads to a data entry, not a directory
      {{rsrc + 72, 0xFFFFFFF0}},              // the data's RVA outside every section
      {{rsrc + 76, 0x7FFFFFFF}},              // the data's size past the section
  };
  for (const auto& changes : spoilers) {
    std::string spoiled = image;
    const std::size_t at = changes.front().first;
    for (const auto& [where, value] : changes) testsigning::Put32(spoiled, where, value);
    const payload::PeRead read = ReadPeHeaders(spoiled);
    ASSERT_TRUE(read.headers) << at;
    EXPECT_FALSE(FindPeResource(*read.headers, spoiled, u"UNINSTALLER", 131)) << at;
  }
  // Cut inside the section: the headers say the data runs past the end of the file.
  EXPECT_FALSE(ReadPeHeaders(image.substr(0, image.size() - 1)).headers);
  EXPECT_FALSE(ReadPeHeaders(image.substr(0, 0x100)).headers);
}

}  // namespace
