// The sysfs reading behind --list-ports on Linux. Plain file-system code, so
// it builds everywhere and its rules are tested against a tree made in a
// temporary directory; only Linux has the real tree.
#include <algorithm>
#include <fstream>
#include <system_error>

#include "ports/port_lister.h"
#include "ports/port_rules.h"

namespace zorvik::ports {
namespace {

// Legacy UART slots (ttyS0-31) exist whether or not a UART is fitted; the
// kernel reports type 0 (PORT_UNKNOWN) for an empty one.
bool isEmptyUartSlot(const std::filesystem::path& ttyDir) {
  std::ifstream type(ttyDir / "type");
  int value = -1;
  return type >> value && value == 0;
}

}  // namespace

std::vector<std::string> listSerialPorts(const std::filesystem::path& sysClassTty) {
  std::vector<std::string> ports;
  // The error_code forms throughout: --list-ports prints what could be read
  // rather than fail on a tty that goes away meanwhile.
  std::error_code ec;
  for (std::filesystem::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path& ttyDir = it->path();
    std::error_code existsError;
    if (!std::filesystem::exists(ttyDir / "device" / "driver", existsError)) continue;
    if (isEmptyUartSlot(ttyDir)) continue;
    ports.push_back("/dev/" + ttyDir.filename().string());
  }
  std::sort(ports.begin(), ports.end(), naturalLess);
  return ports;
}

}  // namespace zorvik::ports
