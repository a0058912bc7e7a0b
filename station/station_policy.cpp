#include "station/station_policy.h"

#include "ports/port_rules.h"

namespace zorvik::station {

LinkChoice LinkChoice::everyLink() { return LinkChoice(); }

LinkChoice LinkChoice::loggerAdapters(DescribePort describe) {
  LinkChoice choice;
  choice.describe_ = std::move(describe);
  return choice;
}

bool LinkChoice::takes(const std::filesystem::path& link) const {
  if (!describe_) return true;
  return isLoggerLink(link.filename().string(), describe_(link.string()));
}

std::string LinkChoice::words() const {
  return describe_ ? "links " + std::string(kLoggerLinkPrefix) + "*" : "every port link";
}

StationLinks stationLinks(const std::filesystem::path& chosenDir) {
  if (!chosenDir.empty()) return {chosenDir, LinkChoice::everyLink()};
  return {std::filesystem::path(ports::kSerialByIdDir), LinkChoice::loggerAdapters()};
}

bool isLoggerLink(const std::string& linkName, const ports::PortDescription& port) {
  if (port.usb) return port.usb->vendor == ports::kLoggerUsbVendor;
  // The USB device cannot be read: a system without sysfs (some containers),
  // or an adapter pulled out again before its link was looked at. udev names
  // the link after the USB device's maker string, which the loggers'
  // adapters leave at "FTDI", so the name is the best guess left.
  return linkName.rfind(kLoggerLinkPrefix, 0) == 0;
}

std::string imagePolicy(const std::string& imageFile) {
  return imageFile.empty() ? "the built-in image that fits each logger"
                           : "only the image file " + imageFile + ", where it fits";
}

session::Question startQuestion() {
  return {"Every logger plugged in will be updated; its measurements are erased.", "Do you really start the station ?"};
}

session::Question stopQuestion() {
  return {"Updates are running; a logger stopped now stays in its bootloader until it is updated again.",
          "Do you really stop the station ?"};
}

}  // namespace zorvik::station
