// The station's policy, the same for the command line and the desktop
// window: which folder of port links it watches, which links in it are
// loggers, and how it says which image each logger gets.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "ports/port_description.h"
#include "session/update_session.h"

namespace zorvik::station {

// What the system says of the port behind a link (ports::describePort).
using DescribePort = std::function<ports::PortDescription(const std::string& path)>;

// The beginning of the by-id names of the loggers' adapters, for where the
// USB device behind a link cannot be read (see isLoggerLink).
inline constexpr std::string_view kLoggerLinkPrefix = "usb-FTDI";

// Which links of the watched folder the station takes.
class LinkChoice {
 public:
  // Every link: a folder chosen by hand holds nothing but the links meant
  // for the station.
  static LinkChoice everyLink();
  // Only the loggers' adapters among the system's serial ports.
  static LinkChoice loggerAdapters(DescribePort describe = [](const std::string& path) {
    return ports::describePort(path);
  });

  // Whether the link at `link` (in the watched folder) is one to take.
  bool takes(const std::filesystem::path& link) const;
  // The station's announcement of it: "every port link" or "links usb-FTDI*".
  std::string words() const;

 private:
  DescribePort describe_;  // empty: every link
};

// The station's folder and links: with no folder chosen, udev's by-id links
// of the loggers' adapters; a folder chosen by hand, every link in it.
struct StationLinks {
  std::filesystem::path watchDir;
  LinkChoice links;
};
StationLinks stationLinks(const std::filesystem::path& chosenDir);

// True when the link `linkName` to the port `port` leads to a logger's
// adapter: by the USB vendor behind it where that can be read, else by the
// name's beginning.
bool isLoggerLink(const std::string& linkName, const ports::PortDescription& port);

// How the image is chosen, in words, for the station's announcement: the
// built-in image that fits each logger, or only the image file given.
std::string imagePolicy(const std::string& imageFile);

// Asked once when a station starts (outside service mode, and unless the
// operator said yes beforehand): it updates whatever logger is plugged in,
// and each loses its measurements.
session::Question startQuestion();
// Asked when the operator stops a station while updates run.
session::Question stopQuestion();

}  // namespace zorvik::station
