// Linux: the loggers appear as ttyUSB devices of the ftdi_sio driver; udev
// lists them and announces their arrival and removal.
#include <libudev.h>

#include <QSocketNotifier>

#include "port_list.h"
#include "port_watcher.h"

namespace zorvik::ui {
namespace {

std::string text(const char* value) { return value ? std::string(value) : std::string(); }

// The driver of the usb-serial device a tty hangs off (ttyUSB0 -> ftdi_sio).
std::string usbSerialDriver(udev_device* tty) {
  udev_device* parent = udev_device_get_parent_with_subsystem_devtype(tty, "usb-serial", nullptr);
  return parent ? text(udev_device_get_driver(parent)) : std::string();
}

std::vector<TtyDevice> readTtyDevices(udev* context) {
  std::vector<TtyDevice> devices;
  udev_enumerate* enumerate = udev_enumerate_new(context);
  if (!enumerate) return devices;
  udev_enumerate_add_match_subsystem(enumerate, "tty");
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
    if (!device) continue;
    devices.push_back({text(udev_device_get_devnode(device)), usbSerialDriver(device)});
    udev_device_unref(device);
  }
  udev_enumerate_unref(enumerate);
  return devices;
}

}  // namespace

std::vector<std::string> ReadSerialPorts() {
  udev* context = udev_new();
  if (!context) return {};
  const std::vector<TtyDevice> devices = readTtyDevices(context);
  udev_unref(context);
  return LoggerPorts(devices);
}

struct PortWatcher::Impl {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  QSocketNotifier* notifier = nullptr;

  ~Impl() {
    if (monitor) udev_monitor_unref(monitor);
    if (context) udev_unref(context);
  }
};

PortWatcher::PortWatcher(Callback onChange, QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>()) {
  impl_->context = udev_new();
  if (!impl_->context) return;
  impl_->monitor = udev_monitor_new_from_netlink(impl_->context, "udev");
  if (!impl_->monitor) return;
  udev_monitor_filter_add_match_subsystem_devtype(impl_->monitor, "tty", nullptr);
  if (udev_monitor_enable_receiving(impl_->monitor) < 0) return;
  const int fd = udev_monitor_get_fd(impl_->monitor);
  if (fd < 0) return;
  impl_->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  udev_monitor* monitor = impl_->monitor;
  connect(impl_->notifier, &QSocketNotifier::activated, this, [monitor, onChange = std::move(onChange)] {
    udev_device* device = udev_monitor_receive_device(monitor);
    if (!device) return;
    const DeviceNotification n =
        FromUdevEvent(text(udev_device_get_action(device)), text(udev_device_get_subsystem(device)));
    udev_device_unref(device);
    onChange(n);
  });
}

PortWatcher::~PortWatcher() {
  // The notifier must stop watching the descriptor before the monitor closes it.
  delete impl_->notifier;
}

}  // namespace zorvik::ui
