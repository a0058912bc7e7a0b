#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli.h"

namespace zorvik::cli {
namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The digit run starting at `pos`, without leading zeros, and where it ends.
std::string digitRun(const std::string& s, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < s.size() && isDigit(s[pos])) ++pos;
  std::string run = s.substr(start, pos - start);
  const auto nonZero = run.find_first_not_of('0');
  return nonZero == std::string::npos ? "0" : run.substr(nonZero);
}

// "ttyUSB2" before "ttyUSB10": digit runs compare by value.
bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::string na = digitRun(a, i);
      const std::string nb = digitRun(b, j);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// Legacy UART slots (ttyS0-31) exist whether or not a UART is fitted; the
// kernel reports type 0 for an empty one.
bool isEmptyUartSlot(const std::filesystem::path& ttyDir) {
  std::ifstream type(ttyDir / "type");
  int value = -1;
  return type >> value && value == 0;
}

}  // namespace

// A tty with a driver behind it in sysfs is a serial port; virtual consoles
// and pseudo-terminals have none.
std::vector<std::string> listSerialPorts() {
  std::vector<std::string> ports;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
    if (!std::filesystem::exists(entry.path() / "device" / "driver", ec)) continue;
    if (isEmptyUartSlot(entry.path())) continue;
    ports.push_back("/dev/" + entry.path().filename().string());
  }
  std::sort(ports.begin(), ports.end(), naturalLess);
  return ports;
}

}  // namespace zorvik::cli
