#include "ports/port_rules.h"

#include <algorithm>

namespace zorvik::ports {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The digit run at pos without its leading zeros ("000" keeps one: "0");
// pos moves past the run.
std::string_view digitRun(std::string_view s, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < s.size() && isDigit(s[pos])) ++pos;
  std::size_t first = start;
  while (first + 1 < pos && s[first] == '0') ++first;
  return s.substr(first, pos - first);
}

// "\\.\com5" and "COM5" name the same Windows port.
std::string portKey(std::string port) {
  if (port.rfind("\\\\.\\", 0) == 0) port.erase(0, 4);
  for (char& c : port) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return port;
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::string_view na = digitRun(a, i);
      const std::string_view nb = digitRun(b, j);
      // Without leading zeros the longer run is the larger number.
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      continue;
    }
    // As unsigned bytes, like std::string itself, so that UTF-8 names sort
    // after ASCII ones. A digit met by a non-digit compares the same whichever
    // digit it is, so a number stays one unit against any other character.
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  if (i == a.size() && j == b.size()) return a < b;  // equal by value: the text decides
  return i == a.size();                               // a prefix comes first
}

std::vector<std::string> loggerPorts(const std::vector<TtyDevice>& devices) {
  std::vector<std::string> ports;
  for (const TtyDevice& device : devices) {
    if (device.driver == kLoggerSerialDriver && !device.devnode.empty()) ports.push_back(device.devnode);
  }
  std::sort(ports.begin(), ports.end(), naturalLess);
  return ports;
}

std::vector<std::string> vcpPortsFromSerialMap(const std::vector<SerialMapValue>& values) {
  std::vector<std::string> ports;
  for (const auto& [name, data] : values) {
    if (isVcpDevice(name)) ports.push_back(data);
  }
  return ports;
}

bool isVcpDevice(std::string_view deviceObject) {
  constexpr std::string_view kVcpPrefix = "\\device\\vcp";
  return deviceObject.size() >= kVcpPrefix.size() &&
         std::equal(kVcpPrefix.begin(), kVcpPrefix.end(), deviceObject.begin(),
                    [](char p, char c) { return p == lowerAscii(c); });
}

bool sameComPort(const std::string& a, const std::string& b) { return portKey(a) == portKey(b); }

std::optional<std::string> serialMapDevice(const std::vector<SerialMapValue>& values, const std::string& port) {
  for (const auto& [device, name] : values) {
    if (sameComPort(name, port)) return device;
  }
  return std::nullopt;
}

DeviceNotification fromUdevEvent(const std::string& action, const std::string& subsystem) {
  DeviceNotification n;
  n.event = action == "add" ? DeviceEvent::Arrival : action == "remove" ? DeviceEvent::Removal : DeviceEvent::Other;
  n.kind = subsystem == "tty" ? DeviceKind::Port : DeviceKind::Other;
  return n;
}

DeviceNotification fromWinDeviceChange(std::uintptr_t wParam, std::uint32_t deviceType) {
  // The values of <dbt.h>, spelled out so that the rule builds and is tested
  // on every platform.
  constexpr std::uintptr_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
  constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
  constexpr std::uint32_t kDevTypePort = 3;                 // DBT_DEVTYP_PORT
  DeviceNotification n;
  n.event = wParam == kDeviceArrival          ? DeviceEvent::Arrival
            : wParam == kDeviceRemoveComplete ? DeviceEvent::Removal
                                              : DeviceEvent::Other;
  n.kind = deviceType == kDevTypePort ? DeviceKind::Port : DeviceKind::Other;
  return n;
}

bool isPortChange(const DeviceNotification& notification) {
  return notification.event != DeviceEvent::Other && notification.kind == DeviceKind::Port;
}

}  // namespace zorvik::ports
