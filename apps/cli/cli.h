// The command-line updater, as a function of its arguments and streams so
// that tests drive it in-process exactly as a user meets it.
#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "link.h"

namespace zorvik::cli {

struct CliIo {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool inIsTerminal = false;
  bool errIsTerminal = false;
  // Fixed protocol pauses and the pause before a repeat; tests pass a fast one.
  Sleeper* sleeper = &realSleeper();
};

// Exit status: 0 success; the error code for errors 10 to 70 (30 when the
// repeats after "no answer" ran out); 1 any other failure; 2 a usage error.
int runCli(const std::vector<std::string>& arguments, CliIo& io);

// The ports --list-ports shows (platform file). Linux: every serial device of
// this machine, in natural order (ttyUSB2 before ttyUSB10). Windows: the VCP
// ports of the system's serial port map, in its order; none when there is no map.
std::vector<std::string> listSerialPorts();

// One value of the Windows serial port map: device object name (\Device\VCP0)
// and its string data, the port name (COM5).
using SerialMapValue = std::pair<std::string, std::string>;

// The port names of the values whose name begins with \Device\VCP, in any
// letter case, in the order given; no sorting, duplicates kept.
std::vector<std::string> vcpPortsFromSerialMap(const std::vector<SerialMapValue>& values);

}  // namespace zorvik::cli
