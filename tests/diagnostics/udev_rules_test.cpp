// Reading udev rules and udev's database: which rules claim an adapter (the
// forms brltty's rules have used), whether a rules file sets a property, and
// a property of a device. The package's own rule is read from the source tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include "diagnostics/udev_rules.h"

namespace zorvik::diagnostics {
namespace {

struct ClaimCase {
  const char* name;
  std::string rule;
  std::optional<std::uint16_t> product;  // of vendor 0x0403
  bool claims;
};

// Test names show the case's name, not its bytes.
void PrintTo(const ClaimCase& c, std::ostream* os) { *os << c.name; }

class RuleClaims : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(RuleClaims, MatchesVendorAndProduct) {
  EXPECT_EQ(ruleClaims(GetParam().rule, 0x0403, GetParam().product), GetParam().claims);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuleClaims,
    ::testing::Values(
        ClaimCase{"ProductEnvironment", R"(ENV{PRODUCT}=="403/6001/*", ENV{BRLTTY_BRAILLE_DRIVER}="at,ce,hm", GOTO="brltty_usb_run")",
                  0x6001, true},
        ClaimCase{"ProductEnvironmentOtherProduct", R"(ENV{PRODUCT}=="403/6010/*", GOTO="brltty_usb_run")", 0x6001,
                  false},
        ClaimCase{"ProductEnvironmentAnyProduct", R"(ENV{PRODUCT}=="403/fe60/*", GOTO="brltty_usb_run")",
                  std::nullopt, true},
        ClaimCase{"Attributes", R"(SUBSYSTEM=="usb", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", RUN+="brltty")",
                  0x6001, true},
        ClaimCase{"AttributesUpperCaseHex", R"(ATTRS{idVendor}=="0403", ATTRS{idProduct}=="FE60", TAG+="x")", 0xFE60,
                  true},
        ClaimCase{"AttributesOtherVendor", R"(ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="6001", RUN+="x")", 0x6001,
                  false},
        ClaimCase{"AttributeAlternatives", R"(ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010|6001", RUN+="x")",
                  0x6001, true},
        ClaimCase{"AssignmentIsNoMatch", R"(ATTRS{idVendor}=="0403", ENV{ID_PRODUCT}="6001")", 0x6001, false},
        ClaimCase{"PatternIsNotSpelledOut", R"(ATTRS{idVendor}=="0403", ATTRS{idProduct}=="60*")", 0x6001, false},
        ClaimCase{"NotEqualIsNoMatch", R"(ATTRS{idVendor}!="0403", ATTRS{idProduct}=="6001")", 0x6001, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClaimingRule, SkipsCommentsAndJoinsContinuationLines) {
  const std::string text =
      "# ENV{PRODUCT}==\"403/6001/*\" in a comment claims nothing\n"
      "ACTION!=\"add\", GOTO=\"brltty_end\"\n"
      "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"0403\", \\\n"
      "  ATTRS{idProduct}==\"6001\", RUN+=\"/lib/brltty/brltty-udev.sh\"\n";
  EXPECT_EQ(claimingRule(text, 0x0403, 0x6001),
            "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"0403\",   ATTRS{idProduct}==\"6001\", "
            "RUN+=\"/lib/brltty/brltty-udev.sh\"");
  EXPECT_EQ(claimingRule(text, 0x0403, 0x6015), std::nullopt);
}

TEST(RulesSetProperty, TellsAnAssignmentFromAComparison) {
  EXPECT_TRUE(rulesSetProperty("SUBSYSTEM==\"tty\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n", "ID_MM_DEVICE_IGNORE"));
  EXPECT_FALSE(rulesSetProperty("ENV{ID_MM_DEVICE_IGNORE}==\"1\", GOTO=\"end\"\n", "ID_MM_DEVICE_IGNORE"));
  EXPECT_FALSE(rulesSetProperty("# ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n", "ID_MM_DEVICE_IGNORE"));
}

// The doctor's ModemManager check relies on what the package's rule does.
TEST(PackagedRule, SetsTheModemManagerIgnoreTag) {
  // From the source tree as CMake names it: __FILE__ is relative where the
  // compiler is reached through ccache with a base directory.
  const std::filesystem::path rule =
      std::filesystem::path(ZORVIK_SOURCE_DIR) / "packaging/udev" / std::string(kOurRuleName);
  std::ifstream in(rule);
  ASSERT_TRUE(in.good()) << "the package's udev rule is not at " << rule;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(rulesSetProperty(text, kModemManagerIgnore));
}

TEST(UdevProperty, ReadsEnvironmentLinesOfTheDatabase) {
  const std::string database = "S:serial/by-id/usb-FTDI_FT232R_USB_UART_FT4ABC12-if00-port0\n"
                               "I:5326371\n"
                               "E:ID_MM_DEVICE_IGNORE=1\n"
                               "E:ID_VENDOR_ID=0403\n"
                               "G:uaccess\n";
  EXPECT_EQ(udevProperty(database, "ID_MM_DEVICE_IGNORE"), "1");
  EXPECT_EQ(udevProperty(database, "ID_VENDOR_ID"), "0403");
  EXPECT_EQ(udevProperty(database, "ID_VENDOR"), std::nullopt);
  EXPECT_EQ(udevProperty("", "ID_MM_DEVICE_IGNORE"), std::nullopt);
}

}  // namespace
}  // namespace zorvik::diagnostics
