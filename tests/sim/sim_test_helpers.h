// Independent references for the simulator's tests: bitwise CRCs and a
// hand-rolled Intel HEX reader, so that a fault shared by the simulator and
// the project's own codec cannot pass unnoticed. Plus a driver that feeds the
// model on a clock the test advances.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/logger_model.h"

namespace zorvik::sim::testing {

// CRC-8/MAXIM-DOW, bit by bit (the 1-Wire reference loop).
inline std::uint8_t referenceCrc8(const std::string& bytes, std::size_t count) {
  std::uint8_t crc = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t b = static_cast<std::uint8_t>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit) {
      const bool mix = ((crc ^ b) & 1) != 0;
      crc = static_cast<std::uint8_t>(crc >> 1);
      if (mix) crc ^= 0x8C;
      b = static_cast<std::uint8_t>(b >> 1);
    }
  }
  return crc;
}

// CRC-16/MODBUS, bit by bit.
inline std::uint16_t referenceCrc16(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

inline int hexNibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes a record line's digit pairs stand for (count, address, type, data,
// checksum); empty if the line is not a colon and upper-case digit pairs.
inline std::vector<std::uint8_t> recordBytes(const std::string& line) {
  if (line.size() < 3 || line[0] != ':' || line.size() % 2 == 0) return {};
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
    const int hi = hexNibble(line[i]);
    const int lo = hexNibble(line[i + 1]);
    if (hi < 0 || lo < 0) return {};
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return bytes;
}

inline std::uint8_t byteSum(const std::vector<std::uint8_t>& bytes) {
  unsigned sum = 0;
  for (const auto b : bytes) sum += b;
  return static_cast<std::uint8_t>(sum);
}

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (const int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A 64-byte data record at `address` whose data bytes are seed, seed+1, ...
inline std::string dataLine(std::uint16_t address, std::uint8_t seed) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::vector<std::uint8_t> b{0x40, static_cast<std::uint8_t>(address >> 8),
                              static_cast<std::uint8_t>(address & 0xFF), 0x00};
  for (int i = 0; i < 64; ++i) b.push_back(static_cast<std::uint8_t>(seed + i));
  b.push_back(static_cast<std::uint8_t>(256 - byteSum(b)));
  std::string line = ":";
  for (const auto v : b) {
    line.push_back(kDigits[v >> 4]);
    line.push_back(kDigits[v & 0x0F]);
  }
  return line;
}

const std::string kIdentityQuery = bytes({0x81, 0, 0, 0, 0, 0, 0, 0xAA});
const std::string kSerialQuery = bytes({0x81, 0x03, 0, 0, 0, 0, 0, 0xF3});
const std::string kNullFrame(8, '\0');
const std::string kEntryFrameOld = bytes({0x85, 0x03, 0xA5, 0x5A, 0, 0, 0, 0x25});
const std::string kEntryFrameNew = bytes({0x82, 0x81, 0x00, 0xA5, 0x5A, 0, 0, 0x09});
const std::string kInfoRequest = ":0100000520DA";
const std::string kStartRecord = ":0100000531C9";
const std::string kEndRecord = ":0100000533C7";

// Feeds a model on a test-driven clock; every request is sent after a pause
// long enough to count as a new request.
class ModelDriver {
 public:
  explicit ModelDriver(const LoggerConfig& config) : model(config), now(SimClock::now()) {}

  // All replies to `request`, concatenated.
  std::string ask(const std::string& request) {
    last = send(request);
    std::string answer;
    for (const auto& r : last.replies) answer += r.bytes;
    return answer;
  }

  ModelOutput send(const std::string& request) {
    now += std::chrono::milliseconds(100);
    return model.receive(request, now);
  }

  void wait(std::chrono::milliseconds d) { now += d; }
  Mode mode() { return model.mode(now); }

  LoggerModel model;
  SimClock::time_point now;
  ModelOutput last;
};

}  // namespace zorvik::sim::testing
