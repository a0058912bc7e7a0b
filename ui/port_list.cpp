#include "port_list.h"

#include <algorithm>
#include <cctype>

namespace zorvik::ui {
namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The digit run starting at i, without leading zeros, and where it ends.
std::pair<std::string, std::size_t> digitRun(const std::string& s, std::size_t i) {
  std::size_t end = i;
  while (end < s.size() && isDigit(s[end])) ++end;
  std::size_t first = i;
  while (first + 1 < end && s[first] == '0') ++first;
  return {s.substr(first, end - first), end};
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const auto [na, endA] = digitRun(a, i);
      const auto [nb, endB] = digitRun(b, j);
      // Without leading zeros the longer run is the larger number.
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;  // equal by value ("ttyUSB01" vs "ttyUSB1"): keep a total order
}

std::vector<std::string> LoggerPorts(const std::vector<TtyDevice>& devices) {
  std::vector<std::string> ports;
  for (const TtyDevice& device : devices) {
    if (device.driver == kLoggerSerialDriver && !device.devnode.empty()) ports.push_back(device.devnode);
  }
  std::sort(ports.begin(), ports.end(), NaturalLess);
  return ports;
}

std::vector<std::string> VcpPortsFromSerialMap(const std::vector<std::pair<std::string, std::string>>& values) {
  static const std::string prefix = "\\device\\vcp";
  std::vector<std::string> ports;
  for (const auto& [name, data] : values) {
    if (lowerCase(name).starts_with(prefix)) ports.push_back(data);
  }
  return ports;
}

DeviceNotification FromUdevEvent(const std::string& action, const std::string& subsystem) {
  DeviceNotification n;
  n.event = action == "add" ? DeviceEvent::Arrival : action == "remove" ? DeviceEvent::Removal : DeviceEvent::Other;
  n.kind = subsystem == "tty" ? DeviceKind::Port : DeviceKind::Other;
  return n;
}

DeviceNotification FromWinDeviceChange(std::uintptr_t wParam, std::uint32_t deviceType) {
  constexpr std::uintptr_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
  constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
  constexpr std::uint32_t kDevTypePort = 3;                 // DBT_DEVTYP_PORT
  DeviceNotification n;
  n.event = wParam == kDeviceArrival ? DeviceEvent::Arrival
            : wParam == kDeviceRemoveComplete ? DeviceEvent::Removal
                                              : DeviceEvent::Other;
  n.kind = deviceType == kDevTypePort ? DeviceKind::Port : DeviceKind::Other;
  return n;
}

bool IsPortChange(const DeviceNotification& notification) {
  return notification.event != DeviceEvent::Other && notification.kind == DeviceKind::Port;
}

}  // namespace zorvik::ui
