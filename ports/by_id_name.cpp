#include "ports/link_watcher.h"

namespace zorvik::ports {

// udev builds the name as "usb-" + vendor_model_serial + "-if" + interface
// (+ "-port" + n for multi-port adapters); the serial is the last
// underscore-separated part before the interface.
std::string serialFromByIdName(const std::string& name) {
  if (name.rfind("usb-", 0) != 0) return {};
  const std::size_t interface = name.rfind("-if");
  if (interface == std::string::npos || interface <= 4) return {};
  const std::string device = name.substr(4, interface - 4);
  const std::size_t underscore = device.rfind('_');
  if (underscore == std::string::npos || underscore + 1 >= device.size()) return {};
  return device.substr(underscore + 1);
}

}  // namespace zorvik::ports
