// Intel HEX record codec as the logger's bootloader speaks it: upper-case
// digits only, at most 64 data bytes per record. Reentrant: every caller owns
// its record and its line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorvik::images {

constexpr int kMaxRecordData = 64;
// Byte count, two address bytes, type, data, checksum; 260 leaves room for any
// count byte a damaged line may carry.
using RecordBytes = std::array<std::uint8_t, 260>;

// Layout of a decoded record inside RecordBytes.
enum RecordIndex : std::size_t { kRecCount = 0, kRecAddrHigh = 1, kRecAddrLow = 2, kRecType = 3, kRecData = 4 };

// "0"-"9", "A"-"F" give 0-15; anything else (lower case included) gives false
// and leaves value unchanged.
bool hexDigitValue(char c, std::uint8_t& value);
// Upper-case digit of the low four bits of v.
char nibbleToHex(std::uint8_t v);

// line := text of buffer. Count above 64: false, line = ":".
bool encodeRecord(const RecordBytes& buffer, std::string& line);
// buffer := bytes of line, with every check; on failure the bytes decoded
// before the failing check stay in buffer.
bool decodeRecord(std::string_view line, RecordBytes& buffer);

// Two's complement of the sum of the first `pairs` digit pairs of text. A
// character that is not an upper-case hex digit poisons the result so that it
// can never come out 0: a damaged reply is never taken for an intact one.
std::uint8_t hexChecksum(const char* text, int pairs);

}  // namespace zorvik::images
