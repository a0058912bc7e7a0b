// The serial ports offered in the port box: only those of the loggers' USB
// serial interface. The rules are kept apart from the system calls that feed
// them, so they can be checked without hardware.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zorvik::ui {

// One tty device as udev describes it: its node and the driver of the
// usb-serial device above it (empty when there is none).
struct TtyDevice {
  std::string devnode;
  std::string driver;
};

// The driver of the loggers' USB serial interface on Linux.
constexpr const char* kLoggerSerialDriver = "ftdi_sio";

// ttyUSB2 before ttyUSB10: digit runs compare by value, the rest by character.
bool NaturalLess(const std::string& a, const std::string& b);

// The logger ports among the tty devices, in natural order.
std::vector<std::string> LoggerPorts(const std::vector<TtyDevice>& devices);

// Windows serial port map: (value name, value data) in enumeration order. The
// ports whose device object name begins with \Device\VCP (any case), in the
// order of the map.
std::vector<std::string> VcpPortsFromSerialMap(const std::vector<std::pair<std::string, std::string>>& values);

// A device notification, reduced to what decides whether the list is read again.
enum class DeviceEvent { Arrival, Removal, Other };
enum class DeviceKind { Port, Other };
struct DeviceNotification {
  DeviceEvent event = DeviceEvent::Other;
  DeviceKind kind = DeviceKind::Other;
};

// A udev event: action "add"/"remove", subsystem "tty" for a port.
DeviceNotification FromUdevEvent(const std::string& action, const std::string& subsystem);
// WM_DEVICECHANGE: wParam and the device type of the notification header.
DeviceNotification FromWinDeviceChange(std::uintptr_t wParam, std::uint32_t deviceType);

// True when a port arrived or went away; every other notification leaves the
// port list alone.
bool IsPortChange(const DeviceNotification& notification);

// Reads the logger ports of this system (platform file).
std::vector<std::string> ReadSerialPorts();

}  // namespace zorvik::ui
