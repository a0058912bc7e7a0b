// The rules that decide which serial ports are the loggers' and when the list
// of them has to be read again. They are kept apart from the system calls
// that feed them, so that they can be checked without hardware and so that
// the window and the command line cannot drift apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorvik::ports {

// ttyUSB2 before ttyUSB10: digit runs compare by value, everything else by
// character. Names equal by value but different in text ("ttyUSB01" and
// "ttyUSB1") are still told apart, by their text, so that this is a total
// order and a sorted list comes out the same whatever order it came in.
bool naturalLess(const std::string& a, const std::string& b);

// One tty device as udev describes it: its node and the driver of the
// usb-serial device above it (empty when there is none).
struct TtyDevice {
  std::string devnode;
  std::string driver;
};

// The driver of the loggers' USB serial interface on Linux.
constexpr std::string_view kLoggerSerialDriver = "ftdi_sio";
// The USB vendor of the loggers' adapters (FTDI), whichever of its products.
constexpr std::uint16_t kLoggerUsbVendor = 0x0403;

// The logger ports among the tty devices (driver ftdi_sio, a node to open),
// in natural order.
std::vector<std::string> loggerPorts(const std::vector<TtyDevice>& devices);

// One value of the Windows serial port map: device object name (\Device\VCP0)
// and its string data, the port name (COM5).
using SerialMapValue = std::pair<std::string, std::string>;

// The port names of the values whose name begins with \Device\VCP, in any
// letter case, in the order given: the map's own order, no sorting,
// duplicates kept.
std::vector<std::string> vcpPortsFromSerialMap(const std::vector<SerialMapValue>& values);

// True when a device object of the serial port map is one of the FTDI
// driver's, the loggers' cables' (\Device\VCP0, in any letter case).
bool isVcpDevice(std::string_view deviceObject);

// True when two Windows port names name the same port: "\\.\com5" and
// "COM5" do.
bool sameComPort(const std::string& a, const std::string& b);

// The device object the serial port map names for `port`; nothing when the
// map has no such port. "\\.\com5" and "COM5" are the same port.
std::optional<std::string> serialMapDevice(const std::vector<SerialMapValue>& values, const std::string& port);

// A device notification, reduced to what decides whether the list is read again.
enum class DeviceEvent { Arrival, Removal, Other };
enum class DeviceKind { Port, Other };
struct DeviceNotification {
  DeviceEvent event = DeviceEvent::Other;
  DeviceKind kind = DeviceKind::Other;
  friend bool operator==(const DeviceNotification&, const DeviceNotification&) = default;
};

// A udev event: action "add"/"remove", subsystem "tty" for a port.
DeviceNotification fromUdevEvent(const std::string& action, const std::string& subsystem);
// WM_DEVICECHANGE: its wParam and the device type of the notification header
// (0 when the message carries none).
DeviceNotification fromWinDeviceChange(std::uintptr_t wParam, std::uint32_t deviceType);

// True when a port arrived or went away; every other notification leaves the
// port list alone.
bool isPortChange(const DeviceNotification& notification);

}  // namespace zorvik::ports
