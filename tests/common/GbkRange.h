#pragma once
// A check over the whole GBK range, for each platform's converter.
#include <gtest/gtest.h>

#include <string>

#include "Text.h"

namespace gbkrange {

// Every two-byte GBK character (lead 81..FE, trail 40..FE but 7F) that converts comes back
// unchanged, and nearly all of GBK's 21,886 characters convert (converters differ on a few dozen
// symbol and user-area positions: 21,791 with glibc's GBK); every ASCII character too.
inline void ExpectEveryCharacterRoundTrips() {
  int converted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      const auto wide = fw::GbkToUtf16(gbk);
      if (!wide) continue;
      ++converted;
      ASSERT_EQ(wide->size(), 1u) << lead << " " << trail;
      ASSERT_EQ(fw::Utf16ToGbk(*wide), gbk) << lead << " " << trail;
    }
  }
  EXPECT_GE(converted, 21700);
  for (int ascii = 1; ascii < 0x80; ++ascii) {
    const std::string one(1, static_cast<char>(ascii));
    EXPECT_EQ(fw::Utf16ToGbk(fw::GbkToUtf16(one).value()), one);
  }
}

}  // namespace gbkrange
