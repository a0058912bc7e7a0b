// The numbers and fixed bytes of the logger's protocol: line settings,
// pauses, frames, record commands and the layout of their answers. All of
// them live here, at the lowest layer that uses any (the image file reader
// already needs the end line), so each is written once. The simulated logger
// keeps copies of its own on purpose: a wrong number cannot then hide by
// being wrong on both sides.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zorvik::images::protocol {

// The logger's serial line: 9600 baud, 8 data bits, no parity, one stop bit,
// as its application and every bootloader generation set it up.
constexpr std::int32_t kBaudRate = 9600;

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

// A command frame's command and argument bytes; the link adds the command
// bit and the CRC.
struct Command {
  std::uint8_t code;
  std::array<std::uint8_t, 6> arguments;
};

// The wake-up is two null frames (eight zero bytes), each followed by this
// pause: what the logger was receiving ends, and it listens.
constexpr int kWakePauseMs = 100;

// The identity query, known to the application and every bootloader: the
// answer's bytes 2-3 are the class, bytes 4-5 the version (application or
// bootloader), high byte first.
constexpr Command kIdentityQuery{1, {0, 0, 0, 0, 0, 0}};
constexpr std::size_t kIdentityClassByte = 2;
constexpr std::size_t kIdentityVersionByte = 4;

// The identity query with argument 3 asks the application for its serial
// number (a bootloader refuses it): the answer's bytes 1-4, low byte first.
constexpr Command kSerialNumberQuery{1, {3, 0, 0, 0, 0, 0}};
constexpr std::size_t kSerialNumberByte = 1;

// Bootloader entry. An application below 6.0 takes only the old frame, one
// from 6.0 on only the new frame; a frame it does not know leaves it in its
// application. Neither is answered, and the switch needs the pause.
constexpr std::uint16_t kNewEntryFrameVersion = 0x0600;
constexpr Command kEntryFrameOld{5, {0x03, 0xA5, 0x5A, 0x00, 0x00, 0x00}};
constexpr Command kEntryFrameNew{2, {0x81, 0x00, 0xA5, 0x5A, 0x00, 0x00}};
constexpr int kEntryPauseMs = 1;

// Commands of the bootloader's command records (record type 5, one data byte).
// Info request at address 0 (not known to the first generation): six data
// bytes back, platform, print and info, high byte first.
constexpr std::uint8_t kInfoRequest = 0x20;
constexpr std::uint8_t kInfoReplyBytes = 6;
// Update identity request at the address of the platform's first memory
// segment (the third generation counts that address in blocks): a full line
// back.
constexpr std::uint8_t kUpdateIdRequest = 0x30;
constexpr std::int32_t kThirdGenerationBlockBytes = 64;
// Start and end of programming: the first generation takes its own pair.
// The start is answered with one data byte, the end not at all.
constexpr std::uint8_t kStartProgramming = 0x31;
constexpr std::uint8_t kStartProgrammingFirstGeneration = 0x11;
constexpr std::uint8_t kStartReplyBytes = 1;
constexpr std::uint8_t kEndProgramming = 0x33;
constexpr std::uint8_t kEndProgrammingFirstGeneration = 0x13;

}  // namespace zorvik::images::protocol
