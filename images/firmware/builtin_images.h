// The compiled-in firmware images as the build generates them from the image
// texts beside this header: constant headers and constant line tables, so
// that nothing is read or parsed when the program starts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zorvik::images::firmware {

// ImageHeader in a form that can be a compile-time constant.
struct BuiltInHeader {
  std::uint16_t deviceClass;
  std::uint16_t versionHigh;
  std::uint16_t versionLow;
  std::uint16_t platform;
  std::uint16_t print;
  std::string_view date;
  std::uint16_t bootloader;
  std::uint16_t bootloaderVersion;
};

struct BuiltInImage {
  BuiltInHeader header;
  std::span<const std::string_view> lines;
};

constexpr int kBuiltInImageCount = 12;

// Image n of the catalogue is kBuiltInImages[n - 1].
extern const std::array<BuiltInImage, kBuiltInImageCount> kBuiltInImages;

}  // namespace zorvik::images::firmware
