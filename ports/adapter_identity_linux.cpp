#include <sys/stat.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "ports/adapter_identity.h"
#include "ports/port_rules.h"
#include "ports/udev_handles.h"

namespace zorvik::ports {
namespace {

using detail::udevText;

// The serial number of the USB device behind a character device node. udev's
// database has it as ID_SERIAL_SHORT once its rules ran; where they did not
// (no udev daemon, a container) sysfs still has the device's own attribute.
std::string usbSerialOf(const std::string& devnode) {
  struct stat st {};
  if (::stat(devnode.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
  const detail::UdevPtr context(udev_new());
  if (!context) return {};
  const detail::UdevDevicePtr tty(udev_device_new_from_devnum(context.get(), 'c', st.st_rdev));
  if (!tty) return {};
  std::string serial = udevText(udev_device_get_property_value(tty.get(), "ID_SERIAL_SHORT"));
  if (!serial.empty()) return serial;
  // The parent belongs to the tty's device and is released with it.
  udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
  return usb ? udevText(udev_device_get_sysattr_value(usb, "serial")) : std::string();
}

// The links in byIdDir that lead to the same file as devnode. Compared as
// files, not as paths: udev writes relative links (../../ttyUSB0), and the
// caller may name the node through a link itself.
std::string byIdNameOf(const std::string& devnode, const std::filesystem::path& byIdDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    if (!it->is_symlink(linkError)) continue;
    std::error_code sameError;
    if (std::filesystem::equivalent(it->path(), devnode, sameError)) names.push_back(it->path().filename().string());
  }
  // Two links to one port would be a local rule's doing; the answer must not
  // depend on the directory's order all the same.
  const auto first = std::min_element(names.begin(), names.end(), naturalLess);
  return first == names.end() ? std::string() : *first;
}

}  // namespace

AdapterIdentity adapterIdentity(const std::string& devnode) {
  return adapterIdentity(devnode, std::filesystem::path(kSerialByIdDir));
}

AdapterIdentity adapterIdentity(const std::string& devnode, const std::filesystem::path& byIdDir) {
  if (devnode.empty()) return {};
  return {usbSerialOf(devnode), byIdNameOf(devnode, byIdDir)};
}

}  // namespace zorvik::ports
