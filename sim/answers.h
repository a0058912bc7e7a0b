// Private to its library.
// The logger's answers as bytes on the line, and the damage a fault does to
// them. Frames are 8 raw bytes; records are Intel HEX text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/simulated_logger.h"

namespace zorvik::sim {

constexpr std::size_t kFrameSize = 8;

// Seven bytes of a frame answer and their CRC-8 as byte 7.
std::string frameAnswer(const std::array<std::uint8_t, 7>& body);

// One record line: byte count n, address, type, n data bytes, checksum.
std::string recordAnswer(std::uint16_t address, std::uint8_t type, const std::uint8_t* data,
                         std::uint8_t n);

// Rewrites the last digit pair so that the record's byte sum is 0 again.
void fixRecordChecksum(std::string& line);

// Damages an answer as the fault kind says. NoAnswer, HangUp and LateAnswer do
// not change bytes: the caller drops, hangs up or delays instead.
void damageAnswer(std::string& answer, FaultKind kind, bool isRecord);

}  // namespace zorvik::sim
