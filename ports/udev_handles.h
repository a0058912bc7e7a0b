// Private to its library.
// Owning handles for the libudev objects the Linux files use, so that every
// early return releases what was taken (Linux only, not installed).
#pragma once

#include <libudev.h>

#include <memory>
#include <string>

namespace zorvik::ports::detail {

struct UdevUnref {
  void operator()(udev* p) const { udev_unref(p); }
  void operator()(udev_device* p) const { udev_device_unref(p); }
  void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
  void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};

using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevUnref>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevUnref>;

// libudev answers "unknown" with a null pointer.
inline std::string udevText(const char* value) { return value ? std::string(value) : std::string(); }

}  // namespace zorvik::ports::detail
