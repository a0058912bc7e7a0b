// The one version text: the minor always has at least two digits, from a
// version word and from an image header's two halves alike.
#include "images/version_text.h"

#include <gtest/gtest.h>

namespace zorvik::images {
namespace {

TEST(VersionText, MinorHasAtLeastTwoDigits) {
  struct Case {
    std::uint16_t word;
    const char* expected;
  };
  // 0 is no exception: a caller that means "unknown" by it says so itself.
  const Case cases[] = {{0x061A, "6.26"}, {0x0588, "5.136"}, {0x0605, "6.05"},
                        {0x0600, "6.00"}, {0xFFFF, "255.255"}, {0x0000, "0.00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(versionWordText(c.word), c.expected);
    EXPECT_EQ(versionText(static_cast<std::uint16_t>(c.word >> 8), c.word & 0xFF), c.expected);
  }
}

// An image header's halves are whole words: a minor above 255 still reads in full.
TEST(VersionText, HalvesAreNotCutToBytes) { EXPECT_EQ(versionText(6, 1005), "6.1005"); }

}  // namespace
}  // namespace zorvik::images
