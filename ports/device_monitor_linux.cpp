#include "ports/device_monitor.h"
#include "ports/udev_handles.h"

namespace zorvik::ports {

struct DeviceMonitor::Impl {
  detail::UdevPtr context;
  // Declared after the context, so released before it.
  detail::UdevMonitorPtr monitor;
  int fd = -1;
};

DeviceMonitor::DeviceMonitor() : impl_(std::make_unique<Impl>()) {
  impl_->context.reset(udev_new());
  if (!impl_->context) return;
  // "udev": the events after udev has processed them, so that the device
  // node exists by the time the list is read again. Without a running udev
  // daemon libudev opens a monitor that receives nothing.
  detail::UdevMonitorPtr monitor(udev_monitor_new_from_netlink(impl_->context.get(), "udev"));
  if (!monitor) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0) return;
  if (udev_monitor_enable_receiving(monitor.get()) < 0) return;
  const int fd = udev_monitor_get_fd(monitor.get());
  if (fd < 0) return;
  impl_->monitor = std::move(monitor);
  impl_->fd = fd;
}

DeviceMonitor::~DeviceMonitor() = default;

int DeviceMonitor::fd() const { return impl_->fd; }

std::optional<DeviceNotification> DeviceMonitor::receive() {
  if (!impl_->monitor) return std::nullopt;
  // The monitor's socket is non-blocking: no event pending gives null.
  const detail::UdevDevicePtr device(udev_monitor_receive_device(impl_->monitor.get()));
  if (!device) return std::nullopt;
  return fromUdevEvent(detail::udevText(udev_device_get_action(device.get())),
                       detail::udevText(udev_device_get_subsystem(device.get())));
}

}  // namespace zorvik::ports
