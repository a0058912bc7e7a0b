#include "tests/umockdev/emulated_system.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace zorvik::umockdev {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsbHost = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr const char* kUartParent = "/devices/platform/serial8250";

std::string underscored(std::string text) {
  std::replace(text.begin(), text.end(), ' ', '_');
  return text;
}

// umockdev backs a tty's node by a link to a pseudo-terminal. A real node is
// no link: resolved, this one would leave the test bed for /dev/pts/N, which
// the code rightly takes for a pseudo-terminal (and libumockdev-preload
// 0.17.16's realpath() then writes past the end of its result). The node
// becomes a plain file, which the preload library still reports as a
// character device; no test here talks through the port.
void plainNode(const fs::path& node) {
  fs::remove(node);
  std::ofstream{node};
}

std::string usbDevicePath(const UsbAdapter& a) { return std::string(kUsbHost) + "/" + a.usbPort; }
std::string interfacePath(const UsbAdapter& a) { return usbDevicePath(a) + "/" + a.usbPort + ":1.0"; }
std::string portPath(const UsbAdapter& a) { return interfacePath(a) + "/" + a.tty; }
std::string ttyPath(const UsbAdapter& a) { return portPath(a) + "/tty/" + a.tty; }

// The way up from a device's sysfs directory to /sys, one "../" per level of
// its path: the driver links are relative, as the kernel's are.
std::string upToSys(const std::string& devicePath) {
  std::string up;
  for (const char c : devicePath) {
    if (c == '/') up += "../";
  }
  return up;
}

}  // namespace

std::string UsbAdapter::byIdName() const {
  return "usb-" + underscored(manufacturer) + "_" + underscored(productName) + "_" + serial + "-if00-port0";
}

std::string UsbAdapter::ttySysPath() const { return "/sys" + ttyPath(*this); }
std::string UsbAdapter::usbSysPath() const { return "/sys" + usbDevicePath(*this); }

EmulatedSystem::EmulatedSystem() : testbed_(umockdev_testbed_new()) {
  // The preload library sends /dev to the test bed only while the test bed
  // has one; a watch set on /dev before the first device would otherwise
  // land on the real one.
  fs::create_directories(root() / "dev");
  // The drivers the devices' driver links lead to; the kernel has a
  // directory for each driver it has loaded.
  for (const char* dir : {"bus/usb/drivers", "bus/usb-serial/drivers", "bus/platform/drivers"}) {
    for (const char* driver : {"ftdi_sio", "cp210x", "serial8250"}) {
      fs::create_directories(root() / "sys" / dir / driver);
    }
  }
}

EmulatedSystem::~EmulatedSystem() { g_object_unref(testbed_); }

bool EmulatedSystem::preloaded() { return umockdev_in_mock_environment() != FALSE; }

fs::path EmulatedSystem::root() const {
  gchar* dir = umockdev_testbed_get_root_dir(testbed_);
  fs::path path(dir);
  g_free(dir);
  return path;
}

void EmulatedSystem::addRecord(const std::string& record) {
  GError* error = nullptr;
  const bool added = umockdev_testbed_add_from_string(testbed_, record.c_str(), &error) != FALSE;
  const std::string message = error ? error->message : "";
  if (error) g_error_free(error);
  ASSERT_TRUE(added) << message << "\n" << record;
}

void EmulatedSystem::add(const UsbAdapter& a) {
  const std::string serialId = underscored(a.manufacturer) + "_" + underscored(a.productName) + "_" + a.serial;
  const std::string minor = std::to_string(a.minor);
  addRecord("P: " + usbDevicePath(a) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
            "A: idVendor=" + a.vendor + "\nA: idProduct=" + a.product + "\nA: serial=" + a.serial +
            "\nA: manufacturer=" + a.manufacturer + "\nA: product=" + a.productName + "\n\n" +
            "P: " + interfacePath(a) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=" + a.driver +
            "\nL: driver=" + upToSys(interfacePath(a)) + "bus/usb/drivers/" + a.driver + "\n\n" +
            "P: " + portPath(a) + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=" + a.driver +
            "\nL: driver=" + upToSys(portPath(a)) + "bus/usb-serial/drivers/" + a.driver +
            "\nA: latency_timer=" + a.latencyMs + "\n\n" +
            "P: " + ttyPath(a) + "\nN: " + a.tty + "\nS: serial/by-id/" + a.byIdName() +
            "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + a.tty + "\nE: MAJOR=188\nE: MINOR=" + minor +
            "\nE: ID_BUS=usb\nE: ID_VENDOR=" + underscored(a.manufacturer) + "\nE: ID_VENDOR_ID=" + a.vendor +
            "\nE: ID_MODEL=" + underscored(a.productName) + "\nE: ID_MODEL_ID=" + a.product +
            "\nE: ID_SERIAL=" + serialId + "\nE: ID_SERIAL_SHORT=" + a.serial + "\nE: ID_USB_DRIVER=" + a.driver +
            "\nE: DEVLINKS=/dev/serial/by-id/" + a.byIdName() + "\nA: dev=188:" + minor +
            "\nL: device=../../../" + a.tty + "\n");
  // umockdev points the link at its own directory by absolute path; udev
  // writes it relative to the link (../../ttyUSB0), which is what the code
  // has to resolve on a real machine.
  plainNode(root() / "dev" / a.tty);
  const fs::path link = root() / "dev" / "serial" / "by-id" / a.byIdName();
  fs::remove(link);
  fs::create_symlink(fs::path("..") / ".." / a.tty, link);
}

void EmulatedSystem::add(const BuiltInUart& u) {
  const std::string ttyDevice = std::string(kUartParent) + "/tty/" + u.tty;
  // One platform device serves every legacy UART slot.
  const bool parentThere = fs::exists(root() / "sys" / std::string(kUartParent).substr(1));
  const std::string parent = parentThere ? "" : "P: " + std::string(kUartParent) +
                                                    "\nE: SUBSYSTEM=platform\nE: DRIVER=serial8250\nL: driver=" +
                                                    upToSys(kUartParent) + "bus/platform/drivers/serial8250\n\n";
  addRecord(parent + "P: " + ttyDevice + "\nN: " + u.tty +
            "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + u.tty + "\nE: MAJOR=4\nE: MINOR=" + std::to_string(u.minor) +
            "\nA: dev=4:" + std::to_string(u.minor) + "\nA: type=" + u.type + "\nL: device=../../../serial8250\n");
  plainNode(root() / "dev" / u.tty);
}

void EmulatedSystem::uevent(const std::string& sysPath, const std::string& action) {
  umockdev_testbed_uevent(testbed_, sysPath.c_str(), action.c_str());
}

void EmulatedSystem::remove(const UsbAdapter& a) {
  // udev takes the link away first, and the by-id folder with its last link.
  const fs::path byId = root() / "dev" / "serial" / "by-id";
  fs::remove(byId / a.byIdName());
  std::error_code ec;
  if (fs::is_empty(byId, ec)) {
    fs::remove(byId);
    fs::remove(byId.parent_path());
  }
  for (const std::string& path : {ttyPath(a), portPath(a), interfacePath(a), usbDevicePath(a)}) {
    umockdev_testbed_remove_device(testbed_, ("/sys" + path).c_str());
  }
  fs::remove(root() / "dev" / a.tty, ec);
}

}  // namespace zorvik::umockdev
