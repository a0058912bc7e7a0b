#include "ports/adapter_identity.h"

#include "ports/port_description.h"

namespace zorvik::ports {

AdapterIdentity adapterIdentity(const std::string& devnode) {
  const PortDescription port = describePort(devnode);
  return {port.usbSerial, port.byIdName};
}

#ifndef _WIN32
AdapterIdentity adapterIdentity(const std::string& devnode, const std::filesystem::path& byIdDir) {
  DeviceRoots roots;
  roots.byId = byIdDir;
  const PortDescription port = describePort(devnode, roots);
  return {port.usbSerial, port.byIdName};
}
#endif

}  // namespace zorvik::ports
