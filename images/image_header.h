// The header of one firmware image: what the logger must be for the image to
// fit it. The image file spells these as "class", "versionH", "versionL",
// "platform", "print", "date", "bootloader" and "bootloader version".
#pragma once

#include <cstdint>
#include <string>

namespace zorvik::images {

struct ImageHeader {
  std::uint16_t deviceClass = 0;
  std::uint16_t versionHigh = 0;
  std::uint16_t versionLow = 0;
  std::uint16_t platform = 0;
  std::uint16_t print = 0;
  std::string date;
  std::uint16_t bootloader = 0;
  std::uint16_t bootloaderVersion = 0;
  friend bool operator==(const ImageHeader&, const ImageHeader&) = default;
};

}  // namespace zorvik::images
