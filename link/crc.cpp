#include "link/crc.h"

namespace zorvik::link {
namespace {

constexpr std::array<std::uint8_t, 256> makeCrc8Table() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1U) ? (reg >> 1) ^ 0x8CU : reg >> 1;
    table[i] = static_cast<std::uint8_t>(reg);
  }
  return table;
}

}  // namespace

constexpr std::array<std::uint8_t, 256> kCrc8Table = makeCrc8Table();

std::uint8_t crc8(const std::uint8_t* data, std::uint16_t count) {
  std::uint8_t reg = 0;
  for (std::uint16_t i = 0; i < count; ++i) reg = kCrc8Table[reg ^ data[i]];
  return reg;
}

std::uint16_t crc16(const std::uint8_t* data, std::uint16_t length) {
  unsigned reg = 0xFFFF;
  for (std::uint16_t i = 0; i < length; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1U) ? (reg >> 1) ^ 0xA001U : reg >> 1;
  }
  return static_cast<std::uint16_t>(reg);
}

}  // namespace zorvik::link
