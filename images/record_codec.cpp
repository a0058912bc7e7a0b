#include "images/record_codec.h"

namespace zorvik::images {

bool hexDigitValue(char c, std::uint8_t& value) {
  if (c >= '0' && c <= '9') {
    value = static_cast<std::uint8_t>(c - '0');
    return true;
  }
  if (c >= 'A' && c <= 'F') {
    value = static_cast<std::uint8_t>(c - 'A' + 10);
    return true;
  }
  return false;
}

char nibbleToHex(std::uint8_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return kDigits[v & 0x0F];
}

namespace {

void appendByte(std::string& line, std::uint8_t b) {
  line.push_back(nibbleToHex(static_cast<std::uint8_t>(b >> 4)));
  line.push_back(nibbleToHex(b));
}

// Value of the digit pair starting at text[0], or false if either is not a digit.
bool pairValue(const char* text, std::uint8_t& value) {
  std::uint8_t high = 0;
  std::uint8_t low = 0;
  if (!hexDigitValue(text[0], high) || !hexDigitValue(text[1], low)) return false;
  value = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

}  // namespace

bool encodeRecord(const RecordBytes& buffer, std::string& line) {
  line.assign(1, ':');
  const int n = buffer[kRecCount];
  if (n > kMaxRecordData) return false;
  line.reserve(static_cast<std::size_t>(2 * n + 11));
  std::uint8_t sum = 0;
  for (int i = 0; i <= n + 3; ++i) {
    const std::uint8_t b = buffer[static_cast<std::size_t>(i)];
    sum = static_cast<std::uint8_t>(sum + b);
    appendByte(line, b);
  }
  appendByte(line, static_cast<std::uint8_t>(256 - sum));
  return true;
}

bool decodeRecord(std::string_view line, RecordBytes& buffer) {
  if (line.size() < 11) return false;
  if (line[0] != ':') return false;
  std::uint8_t n = 0;
  if (!pairValue(line.data() + 1, n)) return false;
  buffer[kRecCount] = n;
  if (n > kMaxRecordData) return false;
  if (line.size() != static_cast<std::size_t>(2 * n + 11)) return false;
  std::uint8_t sum = n;
  for (std::size_t i = 1; i <= static_cast<std::size_t>(n) + 4; ++i) {
    if (!pairValue(line.data() + 2 * i + 1, buffer[i])) return false;
    sum = static_cast<std::uint8_t>(sum + buffer[i]);
  }
  return sum == 0;
}

std::uint8_t hexChecksum(const char* text, int pairs) {
  // A damaged pair counts as 0 in the sum, but the result is forced away from
  // 0 so that the caller's "intact record" test cannot pass on it.
  unsigned sum = 0;
  bool damaged = false;
  for (int k = 0; k < pairs; ++k) {
    std::uint8_t b = 0;
    if (!pairValue(text + 2 * k, b)) damaged = true;
    sum += b;
  }
  const auto result = static_cast<std::uint8_t>(256 - (sum & 0xFF));
  if (damaged && result == 0) return 0xFF;
  return result;
}

}  // namespace zorvik::images
