#include "apps/cli/port_listing.h"

#include <algorithm>
#include <ostream>

namespace zorvik::cli {

void writePortList(std::ostream& out, const std::vector<std::string>& loggerPorts,
                   const std::vector<std::string>& allPorts,
                   const std::function<ports::AdapterIdentity(const std::string&)>& identify) {
  for (const auto& port : loggerPorts) {
    out << port << "  logger adapter";
    const ports::AdapterIdentity id = identify(port);
    if (!id.usbSerial.empty()) out << "  serial " << id.usbSerial;
    if (!id.byIdName.empty()) out << "  " << id.byIdName;
    out << '\n';
  }
  for (const auto& port : allPorts) {
    if (std::find(loggerPorts.begin(), loggerPorts.end(), port) == loggerPorts.end()) out << port << '\n';
  }
}

}  // namespace zorvik::cli
