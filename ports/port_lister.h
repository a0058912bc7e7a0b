// The serial ports of this machine, as the two front ends show them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvik::ports {

// The loggers' ports, as the window's port box offers them (platform file).
// Linux: the tty nodes udev lists under the ftdi_sio driver, in natural order.
// Windows: the \Device\VCP ports of the serial port map, in the map's order.
// None when the system cannot be asked.
std::vector<std::string> listLoggerPorts();

// What --list-ports prints (platform file). Linux: every serial device of
// this machine (listSerialPorts("/sys/class/tty")). Windows: the same VCP
// ports as listLoggerPorts; none when there is no serial port map.
std::vector<std::string> listSerialPorts();

// The serial devices of a sysfs tty class directory, as /dev nodes in natural
// order: every tty with a driver behind it (device/driver), except the empty
// legacy UART slots (type 0). Virtual consoles and pseudo-terminals have no
// driver and are left out. None when the directory cannot be read.
std::vector<std::string> listSerialPorts(const std::filesystem::path& sysClassTty);

}  // namespace zorvik::ports
