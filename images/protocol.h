// Fixed bytes and addresses of the logger's protocol that more than one layer
// needs. Kept at the lowest layer that uses them (the image file reader
// already needs the end line), so each is written once. The simulated logger
// keeps copies of its own on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zorvik::protocol {

// The Intel HEX end record: the last line of every image.
constexpr std::string_view kEndLine = ":00000001FF";

// The data line whose address is 0x03DF carries the interrupt vector table;
// it is programmed last.
constexpr std::uint8_t kVectorTableAddressHigh = 0x03;
constexpr std::uint8_t kVectorTableAddressLow = 0xDF;

// Data bytes of a full image line.
constexpr std::uint8_t kLineBytes = 64;

// Record types of the bootloader's records.
constexpr std::uint8_t kRecordTypeData = 0;
constexpr std::uint8_t kRecordTypeCommand = 5;

// Command frames: eight bytes, the command with its top bit set, six
// argument bytes and a CRC-8. A reply whose first byte has the exception bit
// set is the logger refusing.
constexpr std::size_t kFrameSize = 8;
constexpr std::uint8_t kFrameCommandBit = 0x80;
constexpr std::uint8_t kFrameExceptionBit = 0x20;

}  // namespace zorvik::protocol
