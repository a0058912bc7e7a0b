// Private to its library.
// Reading udev's rules and database as far as the doctor needs: whether a
// rule claims a USB device by its vendor and product (brltty's rules do so
// for some FTDI adapters), and a property of a device in udev's database.
// Pure text handling; finding the files is the platform file's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik::diagnostics {

// The rule the package installs (packaging/udev/): uaccess for the user at
// the desktop, ID_MM_DEVICE_IGNORE for ModemManager, a 1 ms latency timer.
constexpr std::string_view kOurRuleName = "70-zorvik-logger.rules";
// The property that tells ModemManager to leave a port alone.
constexpr std::string_view kModemManagerIgnore = "ID_MM_DEVICE_IGNORE";

// True when one rule (one logical line: continuation lines already joined,
// comments are no rule) matches the USB device vendor:product, either by
// ATTRS{idVendor}/ATTRS{idProduct} (also ATTR, SYSFS) or by ENV{PRODUCT}
// ("403/6001/*", the form brltty's rules use). Without a product, any
// product of the vendor counts. Hex numbers compare by value ("0403" is
// "403"); a match pattern ("60*") counts only where it is spelled out.
bool ruleClaims(std::string_view rule, std::uint16_t vendor, std::optional<std::uint16_t> product);

// The first rule of a rules file that claims vendor:product, as written
// (continuation lines joined); nothing when none does.
std::optional<std::string> claimingRule(std::string_view rulesText, std::uint16_t vendor,
                                        std::optional<std::uint16_t> product);

// True when some rule of a rules file sets the property `key` (ENV{key}=...).
bool rulesSetProperty(std::string_view rulesText, std::string_view key);

// The value of property `key` in a device's udev database entry
// (/run/udev/data/c188:0, lines "E:KEY=VALUE"); nothing when it is not set.
std::optional<std::string> udevProperty(std::string_view databaseText, std::string_view key);

}  // namespace zorvik::diagnostics
