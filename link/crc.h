// The two checksums of the logger's protocol, each checked against its
// published check value in the tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvik::link {

// CRC-8/MAXIM-DOW (1-Wire): reflected poly 0x8C, init 0, no final XOR.
// Entry i is the CRC-8 of the single byte i.
extern const std::array<std::uint8_t, 256> kCrc8Table;
std::uint8_t crc8(const std::uint8_t* data, std::uint16_t count);

// CRC-16/MODBUS: reflected poly 0xA001, init 0xFFFF, no final XOR.
std::uint16_t crc16(const std::uint8_t* data, std::uint16_t length);

}  // namespace zorvik::link
