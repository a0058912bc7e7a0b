// Numbers from reply bytes, most significant byte first.
#pragma once

#include <cstdint>

namespace zorvik::link {

constexpr std::uint16_t bytesToWord(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>(high << 8 | low);
}

constexpr std::uint32_t bytesToDword(std::uint8_t b3, std::uint8_t b2, std::uint8_t b1, std::uint8_t b0) {
  return std::uint32_t{b3} << 24 | std::uint32_t{b2} << 16 | std::uint32_t{b1} << 8 | b0;
}

}  // namespace zorvik::link
