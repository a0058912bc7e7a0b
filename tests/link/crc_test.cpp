// Checksums and byte packing against published check values and the frames
// the logger is known to accept.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/convert.h"
#include "link/crc.h"

namespace zorvik::link {
namespace {

std::vector<std::uint8_t> ascii(const std::string& text) { return {text.begin(), text.end()}; }

std::uint8_t crc8Of(const std::vector<std::uint8_t>& bytes) {
  return crc8(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
}

std::uint16_t crc16Of(const std::vector<std::uint8_t>& bytes) {
  return crc16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
}

TEST(Crc8Test, MatchesCheckValuesAndKnownFrames) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {"CRC-8/MAXIM-DOW check value", ascii("123456789"), 0xA1},
      {"null frame", {0, 0, 0, 0, 0, 0, 0}, 0x00},
      {"identity query", {0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0xAA},
      {"serial-number query", {0x81, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}, 0xF3},
      {"bootloader entry, command 5", {0x85, 0x03, 0xA5, 0x5A, 0x00, 0x00, 0x00}, 0x25},
      {"bootloader entry, command 2", {0x82, 0x81, 0x00, 0xA5, 0x5A, 0x00, 0x00}, 0x09},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(crc8Of(c.bytes), c.expected);
    // A reflected CRC without final XOR over data plus its CRC is zero: the
    // receiver's check of a whole frame.
    std::vector<std::uint8_t> frame = c.bytes;
    frame.push_back(c.expected);
    EXPECT_EQ(crc8Of(frame), 0);
  }
}

TEST(Crc8Test, TableHoldsTheSingleByteCrcs) {
  const std::uint8_t head[] = {0x00, 0x5E, 0xBC, 0xE2, 0x61, 0x3F, 0xDD, 0x83};
  for (std::size_t i = 0; i < sizeof head; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kCrc8Table[i], head[i]);
  }
  EXPECT_EQ(kCrc8Table[0x80], 0x8C);
  for (unsigned i = 0; i < 256; ++i) {
    SCOPED_TRACE(i);
    const std::uint8_t byte = static_cast<std::uint8_t>(i);
    EXPECT_EQ(crc8(&byte, 1), kCrc8Table[i]);
  }
}

TEST(Crc16Test, MatchesModbusCheckValues) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {"CRC-16/MODBUS check value", ascii("123456789"), 0x4B37},
      {"empty input keeps the initial value", {}, 0xFFFF},
      // Read 10 holding registers from unit 1; sent on the wire as C5 CD.
      {"Modbus request 01 03 00 00 00 0A", {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(crc16Of(c.bytes), c.expected);
  }
}

TEST(CrcConvertTest, CombinesBytesMostSignificantFirst) {
  EXPECT_EQ(bytesToWord(0x66, 0x01), 0x6601);
  EXPECT_EQ(bytesToWord(0xFF, 0xFF), 0xFFFF);
  EXPECT_EQ(bytesToWord(0x00, 0xFF), 0x00FF);
  EXPECT_EQ(bytesToDword(1, 0, 0, 2), (1U << 24) + 2U);
  EXPECT_EQ(bytesToDword(0xDE, 0xAD, 0xBE, 0xEF), 0xDEADBEEFU);
  EXPECT_EQ(bytesToDword(0xFF, 0x00, 0x00, 0x00), 0xFF000000U);
}

}  // namespace
}  // namespace zorvik::link
