// What the command line derives from the ports it was given: a trace file
// per port, and whether two names lead to one device.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvik::cli {

// The trace file of each port, in the order of `ports`: FILE itself for a
// single port; with several FILE.NAME, NAME the port's last path part while
// that tells the ports apart, else the whole path with its separators as
// "-" (/dev/pts/3 and /x/3 give FILE.dev-pts-3 and FILE.x-3), and a number
// added where even that is the same. No two ports ever share a file.
std::vector<std::string> traceFilesFor(const std::string& file, const std::vector<std::string>& ports);

// The first two ports (by index) that lead to one device although their
// names differ (/dev/pts/3 and /dev/pts/../pts/3, a by-id link and its
// target); none when every port is a device of its own or cannot be found.
std::optional<std::pair<std::size_t, std::size_t>> sameDeviceTwice(const std::vector<std::string>& ports);

}  // namespace zorvik::cli
