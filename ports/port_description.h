// What the system knows about one serial port, read in one place per
// platform: its path, its by-id name, the driver, the USB device behind it
// (vendor:product, serial number) and the latency timer. The doctor,
// --list-ports, the adapter's identity and the station all ask here, so that
// none of them reads the system on its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/port_rules.h"

namespace zorvik::ports {

struct UsbId {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  friend bool operator==(const UsbId&, const UsbId&) = default;
};

// "0403:6001", as sysfs spells the two numbers (four lower-case hex digits each).
std::string usbIdText(const UsbId& id);

// Empty strings and nothing where a part is unknown: a pseudo-terminal or a
// built-in UART has no USB device, Windows gives no by-id name.
struct PortDescription {
  // The port as the system names it: /dev/ttyUSB0 (a link resolved), COM5.
  std::string path;
  // Linux: the file name of the port's link in /dev/serial/by-id.
  std::string byIdName;
  // Linux: the driver of the tty's device (ftdi_sio, serial8250). Windows:
  // the device object the serial port map names for the port (\Device\VCP0),
  // which tells the driver that made it.
  std::string driver;
  std::optional<UsbId> usb;  // the USB device the port belongs to
  std::string usbSerial;     // that device's serial number, as it reports it
  std::optional<int> latencyMs;  // the FTDI latency timer
  // Linux: the tty's device numbers, "188:0", the key of its entry in udev's database.
  std::string deviceNumbers;
  friend bool operator==(const PortDescription&, const PortDescription&) = default;
};

// Platform file. Linux: sysfs, the by-id links and the device node. Windows:
// the serial port map and the FTDI driver's device parameters.
PortDescription describePort(const std::string& port);

// The by-id directory that udev's persistent-name rules fill.
constexpr std::string_view kSerialByIdDir = "/dev/serial/by-id";

#ifndef _WIN32

// Where Linux keeps what the reader reads. Every place is a parameter, so
// that the doctor's checks and the tests can read a system built in a
// temporary directory. libudev would read the same sysfs files, but refuses
// any tree that is not below /sys, which is why the reader reads them itself.
struct DeviceRoots {
  std::filesystem::path sys = "/sys";
  std::filesystem::path dev = "/dev";
  std::filesystem::path byId = kSerialByIdDir;
};

// The port below roots.dev ("ttyUSB0" is roots.dev/ttyUSB0, as is
// "/dev/ttyUSB0"); any other path is taken as it is.
PortDescription describePort(const std::string& port, const DeviceRoots& roots);

// The loggers' ports of a sysfs tree: the ttys whose device is served by
// kLoggerSerialDriver, as /dev nodes in natural order.
std::vector<std::string> listLoggerPorts(const DeviceRoots& roots);

// The serial devices of a sysfs tty class directory, as /dev nodes in natural
// order: every tty with a driver behind it (device/driver), except the empty
// legacy UART slots (type 0). Virtual consoles and pseudo-terminals have no
// driver and are left out. None when the directory cannot be read.
std::vector<std::string> listSerialPorts(const std::filesystem::path& sysClassTty);

#else

// The system's serial port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), value by
// value in the registry's order; nothing when it cannot be opened, which is
// the case while no COM port exists.
std::optional<std::vector<SerialMapValue>> readSerialMap();

#endif

// ---- Parsing what the platform returned (every platform, for the tests) ----

// "0403" -> 0x0403; nothing for anything but one to four hex digits (blanks
// around them are let through).
std::optional<std::uint16_t> parseUsbId(std::string_view text);

// The latency timer file's text ("16\n") in ms; nothing for anything else.
std::optional<int> parseLatency(std::string_view text);

}  // namespace zorvik::ports
