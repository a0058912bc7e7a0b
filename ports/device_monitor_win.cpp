// Windows announces device changes only as window messages (WM_DEVICECHANGE),
// which reach the window's native event filter; there is nothing to wait on.
#include "ports/device_monitor.h"

namespace zorvik::ports {

struct DeviceMonitor::Impl {};

DeviceMonitor::DeviceMonitor() : impl_(std::make_unique<Impl>()) {}

DeviceMonitor::~DeviceMonitor() = default;

int DeviceMonitor::fd() const { return -1; }

std::optional<DeviceNotification> DeviceMonitor::receive() { return std::nullopt; }

}  // namespace zorvik::ports
