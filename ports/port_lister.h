// The serial ports of this machine, as the two front ends show them.
#pragma once

#include <string>
#include <vector>

namespace zorvik::ports {

// The loggers' ports, as the window's port box offers them (platform file,
// port_description_*.cpp). Linux: the tty nodes whose device is served by
// the ftdi_sio driver, in natural order. Windows: the \Device\VCP ports of
// the serial port map, in the map's order. None when the system cannot be
// asked.
std::vector<std::string> listLoggerPorts();

// What --list-ports prints (platform file). Linux: every serial device of
// this machine (listSerialPorts("/sys/class/tty"), port_description.h).
// Windows: the same VCP ports as listLoggerPorts; none when there is no
// serial port map.
std::vector<std::string> listSerialPorts();

}  // namespace zorvik::ports
