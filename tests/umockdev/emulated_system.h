// A machine whose serial devices are emulated by umockdev: every access of
// this process to /sys and /dev goes to a test bed instead (libumockdev-preload,
// which CTest puts into LD_PRELOAD), so the programs' own Linux code reads
// them through the system's real paths, and libudev's monitor hears the
// test bed's uevents. The devices are laid out as the kernel and udev lay out
// a USB serial adapter: the USB device (idVendor, idProduct, serial), its
// interface, the usb-serial port with its latency timer and driver, the tty
// with its device numbers and udev properties, and the by-id link.
#pragma once

#include <gtest/gtest.h>
#include <umockdev.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zorvik::umockdev {

// One USB serial adapter, as its descriptors and its driver show it.
struct UsbAdapter {
  std::string tty = "ttyUSB0";
  std::string usbPort = "1-1";  // where it sits on the bus: the USB device's name
  std::string vendor = "0403";
  std::string product = "6001";
  std::string serial = "A12BC3D4";
  std::string manufacturer = "FTDI";
  std::string productName = "FT232R USB UART";
  std::string driver = "ftdi_sio";
  int minor = 0;  // of major 188, the usb-serial ttys
  std::string latencyMs = "16";

  // The link udev's persistent-name rule makes: "usb-" + maker_model_serial
  // (blanks as underscores) + the interface and port.
  std::string byIdName() const;
  // The sysfs paths of the tty and of the USB device, as uevents name them.
  std::string ttySysPath() const;
  std::string usbSysPath() const;
};

// A built-in UART (serial8250) with no USB device above it.
struct BuiltInUart {
  std::string tty = "ttyS0";
  int minor = 64;  // of major 4
  std::string type = "4";  // the kernel's UART type; 0 is an empty slot
};

class EmulatedSystem {
 public:
  EmulatedSystem();
  ~EmulatedSystem();
  EmulatedSystem(const EmulatedSystem&) = delete;
  EmulatedSystem& operator=(const EmulatedSystem&) = delete;

  // True when this process runs with libumockdev-preload: without it the
  // code under test would read the real machine.
  static bool preloaded();

  // Adds the adapter's devices and link, as a plug-in leaves them; no event.
  void add(const UsbAdapter& adapter);
  void add(const BuiltInUart& uart);
  // A uevent ("add", "remove") of the device at sysPath, as udev passes it on.
  void uevent(const std::string& sysPath, const std::string& action);
  // What an unplug leaves: the link, the devices and the node gone; no event.
  void remove(const UsbAdapter& adapter);

  // The test bed's directory, which the emulated /sys and /dev lie below.
  std::filesystem::path root() const;

 private:
  void addRecord(const std::string& record);
  UMockdevTestbed* testbed_;
};

}  // namespace zorvik::umockdev
