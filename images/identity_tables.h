// Fixed knowledge about the logger's identity codes: names of device classes,
// platforms and prints, validators (a code is valid exactly when it has a
// name), and each platform's memory map. 0xFFFF means "no valid code".
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zorvik::images {

constexpr std::uint16_t kNoCode = 0xFFFF;
constexpr std::uint16_t kClassZorvik = 0x6601;
constexpr std::uint16_t kClassBootloader1 = 0xC800;
constexpr std::uint16_t kClassBootloader2 = 0xC801;
constexpr std::uint16_t kClassBootloader3 = 0xC802;

// Name of a class; the print code selects the name for two classes. Callers
// without a print code pass 0xFFFF. Unknown: "?".
std::string className(std::uint16_t deviceClass, std::uint16_t print);
std::uint16_t validClass(std::uint16_t deviceClass);
std::string platformName(std::uint16_t platform);
std::uint16_t validPlatform(std::uint16_t platform);
std::string printName(std::uint16_t print);
std::uint16_t validPrint(std::uint16_t print);

struct MemorySegment {
  bool enabled = false;
  std::int32_t first = 0;
  std::int32_t last = 0;  // inclusive
  friend bool operator==(const MemorySegment&, const MemorySegment&) = default;
};
using MemoryMap = std::array<MemorySegment, 7>;

// The platform's map: listed segments enabled, every other one cleared (all
// of them for a platform without a map).
MemoryMap memoryMap(std::uint16_t platform);

}  // namespace zorvik::images
