// Linux: the loggers appear as tty devices of the ftdi_sio driver, which udev
// lists; --list-ports reads sysfs directly, which needs no udev database.
#include "ports/port_lister.h"
#include "ports/port_rules.h"
#include "ports/udev_handles.h"

namespace zorvik::ports {
namespace {

using detail::udevText;

// The driver of the usb-serial device a tty hangs off (ttyUSB0 -> ftdi_sio).
// The parent belongs to the child and is not released here.
std::string usbSerialDriver(udev_device* tty) {
  udev_device* parent = udev_device_get_parent_with_subsystem_devtype(tty, "usb-serial", nullptr);
  return parent ? udevText(udev_device_get_driver(parent)) : std::string();
}

std::vector<TtyDevice> readTtyDevices(udev* context) {
  std::vector<TtyDevice> devices;
  const detail::UdevEnumeratePtr enumerate(udev_enumerate_new(context));
  if (!enumerate) return devices;
  udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    const detail::UdevDevicePtr device(udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
    if (!device) continue;
    devices.push_back({udevText(udev_device_get_devnode(device.get())), usbSerialDriver(device.get())});
  }
  return devices;
}

}  // namespace

std::vector<std::string> listLoggerPorts() {
  const detail::UdevPtr context(udev_new());
  if (!context) return {};
  return loggerPorts(readTtyDevices(context.get()));
}

std::vector<std::string> listSerialPorts() { return listSerialPorts("/sys/class/tty"); }

}  // namespace zorvik::ports
