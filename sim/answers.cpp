#include "sim/answers.h"

#include "images/record_codec.h"
#include "link/crc.h"

namespace zorvik::sim {
namespace {

constexpr std::uint8_t kExceptionBit = 0x20;
// Offset of the first data digit in a record line: colon, count, address, type.
constexpr std::size_t kFirstDataDigit = 9;

std::uint8_t frameCrc(const std::string& frame) {
  return link::crc8(reinterpret_cast<const std::uint8_t*>(frame.data()), 7);
}

void setFrameCrc(std::string& frame, bool valid) {
  const std::uint8_t crc = frameCrc(frame);
  frame[7] = static_cast<char>(valid ? crc : static_cast<std::uint8_t>(crc ^ 0x5A));
}

void writePair(std::string& line, std::size_t at, std::uint8_t value) {
  line[at] = images::nibbleToHex(static_cast<std::uint8_t>(value >> 4));
  line[at + 1] = images::nibbleToHex(value);
}

// Byte sum of the digit pairs between the colon and the checksum pair.
std::uint8_t pairSum(const std::string& line) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i + 3 < line.size(); i += 2) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    images::hexDigitValue(line[i], high);
    images::hexDigitValue(line[i + 1], low);
    sum = static_cast<std::uint8_t>(sum + high * 16 + low);
  }
  return sum;
}

void damageFrame(std::string& frame, FaultKind kind) {
  switch (kind) {
    case FaultKind::ShortAnswer:
      frame.pop_back();
      break;
    case FaultKind::BadCrc:
    case FaultKind::BadChecksum:
      setFrameCrc(frame, false);
      break;
    case FaultKind::BadCrcWithException:
      frame[0] = static_cast<char>(frame[0] | kExceptionBit);
      setFrameCrc(frame, false);
      break;
    case FaultKind::ExceptionBit:
      frame[0] = static_cast<char>(frame[0] | kExceptionBit);
      setFrameCrc(frame, true);
      break;
    case FaultKind::AlteredEcho:
      frame[1] = static_cast<char>(frame[1] ^ 0x01);
      setFrameCrc(frame, true);
      break;
    default:
      break;
  }
}

void damageRecord(std::string& line, FaultKind kind) {
  switch (kind) {
    case FaultKind::ShortAnswer:
      line.pop_back();
      break;
    case FaultKind::BadCrc:
    case FaultKind::BadCrcWithException:
    case FaultKind::BadChecksum: {
      const auto right = static_cast<std::uint8_t>(256 - pairSum(line));
      writePair(line, line.size() - 2, static_cast<std::uint8_t>(right + 1));
      break;
    }
    case FaultKind::AlteredEcho: {
      if (line.size() < kFirstDataDigit + 4) break;  // no data digit to change
      std::uint8_t digit = 0;
      images::hexDigitValue(line[kFirstDataDigit], digit);
      line[kFirstDataDigit] = images::nibbleToHex(static_cast<std::uint8_t>(digit + 1));
      fixRecordChecksum(line);
      break;
    }
    case FaultKind::NoColon:
      line[0] = ';';
      break;
    default:
      break;  // an exception bit has no place in a record
  }
}

}  // namespace

std::string frameAnswer(const std::array<std::uint8_t, 7>& body) {
  std::string frame(body.begin(), body.end());
  frame.push_back('\0');
  setFrameCrc(frame, true);
  return frame;
}

std::string recordAnswer(std::uint16_t address, std::uint8_t type, const std::uint8_t* data,
                         std::uint8_t n) {
  images::RecordBytes buffer{};
  buffer[images::kRecCount] = n;
  buffer[images::kRecAddrHigh] = static_cast<std::uint8_t>(address >> 8);
  buffer[images::kRecAddrLow] = static_cast<std::uint8_t>(address & 0xFF);
  buffer[images::kRecType] = type;
  for (std::size_t i = 0; i < n; ++i) buffer[images::kRecData + i] = data[i];
  std::string line;
  images::encodeRecord(buffer, line);
  return line;
}

void fixRecordChecksum(std::string& line) {
  if (line.size() < 3) return;
  writePair(line, line.size() - 2, static_cast<std::uint8_t>(256 - pairSum(line)));
}

void damageAnswer(std::string& answer, FaultKind kind, bool isRecord) {
  if (answer.empty()) return;
  if (isRecord) {
    damageRecord(answer, kind);
  } else {
    damageFrame(answer, kind);
  }
}

}  // namespace zorvik::sim
