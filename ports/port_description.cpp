// The parts of the port description that are text handling only, built on
// every platform so that they are tested on every platform.
#include <cstdio>

#include "ports/port_description.h"

namespace zorvik::ports {
namespace {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string usbIdText(const UsbId& id) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", unsigned{id.vendor}, unsigned{id.product});
  return text;
}

std::optional<std::uint16_t> parseUsbId(std::string_view text) {
  text = trim(text);
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::uint16_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = static_cast<std::uint16_t>(value << 4 | digit);
  }
  return value;
}

// The first line only, as the kernel writes one value per file; at most five
// digits, so that no text of the file can overflow the number.
std::optional<int> parseLatency(std::string_view text) {
  text = text.substr(0, text.find('\n'));
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  if (text.empty() || text.size() >= 6) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace zorvik::ports
