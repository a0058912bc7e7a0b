// Linux: the port's tty in sysfs and the USB device above it, the latency
// timer the FTDI driver shows there, and the link udev made for it in
// /dev/serial/by-id. Every path is taken below the DeviceRoots.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "ports/first_line.h"
#include "ports/port_description.h"
#include "ports/port_lister.h"

namespace zorvik::ports {
namespace {

namespace fs = std::filesystem;

using detail::readFirstLine;

constexpr std::string_view kDevPrefix = "/dev/";
// A USB device is at most this many levels above its tty's device in sysfs
// (port, interface, device); the walk stops earlier at the sysfs root.
constexpr int kMaxUsbDepth = 4;

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "ttyUSB0" and "/dev/ttyUSB0" lie below roots.dev; any other path is taken
// as it is.
fs::path mappedPath(const std::string& port, const DeviceRoots& roots) {
  std::string path = port;
  if (!path.empty() && path.front() != '/') path = std::string(kDevPrefix) + path;
  if (path.rfind(kDevPrefix, 0) == 0) return roots.dev / path.substr(kDevPrefix.size());
  return path;
}

// The node with its links resolved, as the kernel names it (/dev/ttyUSB0)
// when it lies below roots.dev.
std::string systemPath(const std::string& port, const fs::path& mapped, const DeviceRoots& roots) {
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(mapped, ec);
  if (resolved.empty()) return port;
  const fs::path devRoot = fs::weakly_canonical(roots.dev, ec);
  const fs::path relative = resolved.lexically_relative(devRoot);
  const bool belowDev = !relative.empty() && *relative.begin() != "..";
  return belowDev ? std::string(kDevPrefix) + relative.generic_string() : resolved.string();
}

std::optional<fs::path> usbDeviceAbove(const fs::path& ttyDevice, const fs::path& sysRoot) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(sysRoot, ec);
  fs::path at = fs::canonical(ttyDevice, ec);
  if (ec) return std::nullopt;
  for (int depth = 0; depth <= kMaxUsbDepth && !at.empty() && at != root && at != at.root_path(); ++depth) {
    std::error_code existsError;
    if (fs::exists(at / "idVendor", existsError) && fs::exists(at / "idProduct", existsError)) return at;
    at = at.parent_path();
  }
  return std::nullopt;
}

// What sysfs says of the tty `name` (ttyUSB0): its driver, device numbers,
// the USB device above it and the latency timer.
void readTty(const std::string& name, const DeviceRoots& roots, PortDescription& port) {
  const fs::path ttyDir = roots.sys / "class" / "tty" / name;
  std::error_code ec;
  const fs::path driverLink = fs::read_symlink(ttyDir / "device" / "driver", ec);
  if (!ec) port.driver = driverLink.filename().string();
  port.deviceNumbers = readFirstLine(ttyDir / "dev");
  if (const auto usb = usbDeviceAbove(ttyDir / "device", roots.sys)) {
    const auto vendor = parseUsbId(readFirstLine(*usb / "idVendor"));
    const auto product = parseUsbId(readFirstLine(*usb / "idProduct"));
    if (vendor && product) {
      port.usb = UsbId{*vendor, *product};
      port.usbSerial = readFirstLine(*usb / "serial");
    }
  }
  port.latencyMs = parseLatency(readWhole(roots.sys / "bus" / "usb-serial" / "devices" / name / "latency_timer"));
}

// Whether two paths lead to the same file. Not fs::equivalent: the C++
// library of GCC 12 refuses to compare two device nodes ("not supported"),
// which is just what a by-id link and its tty are.
bool sameFile(const fs::path& a, const fs::path& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The links in byIdDir that lead to the same file as the node. Compared as
// files, not as paths: udev writes relative links (../../ttyUSB0), and the
// caller may name the node through a link itself.
std::string byIdNameOf(const fs::path& node, const fs::path& byIdDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    if (!it->is_symlink(linkError)) continue;
    if (sameFile(it->path(), node)) names.push_back(it->path().filename().string());
  }
  // Two links to one port would be a local rule's doing; the answer must not
  // depend on the directory's order all the same.
  const auto first = std::min_element(names.begin(), names.end(), naturalLess);
  return first == names.end() ? std::string() : *first;
}

// Legacy UART slots (ttyS0-31) exist whether or not a UART is fitted; the
// kernel reports type 0 (PORT_UNKNOWN) for an empty one.
bool isEmptyUartSlot(const fs::path& ttyDir) {
  std::ifstream type(ttyDir / "type");
  int value = -1;
  return type >> value && value == 0;
}

}  // namespace

PortDescription describePort(const std::string& port) { return describePort(port, DeviceRoots{}); }

PortDescription describePort(const std::string& port, const DeviceRoots& roots) {
  if (port.empty()) return {};
  PortDescription description;
  const fs::path node = mappedPath(port, roots);
  description.path = systemPath(port, node, roots);
  // A pseudo-terminal (pts/3) or a node outside /dev has no tty in sysfs.
  if (description.path.rfind(kDevPrefix, 0) == 0) {
    const std::string name = description.path.substr(kDevPrefix.size());
    if (!name.empty() && name.find('/') == std::string::npos) readTty(name, roots, description);
  }
  description.byIdName = byIdNameOf(node, roots.byId);
  return description;
}

std::vector<std::string> listLoggerPorts(const DeviceRoots& roots) {
  std::vector<TtyDevice> devices;
  std::error_code ec;
  for (fs::directory_iterator it(roots.sys / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    const fs::path driver = fs::read_symlink(it->path() / "device" / "driver", linkError);
    devices.push_back({std::string(kDevPrefix) + it->path().filename().string(),
                       linkError ? std::string() : driver.filename().string()});
  }
  return loggerPorts(devices);
}

std::vector<std::string> listSerialPorts(const fs::path& sysClassTty) {
  std::vector<std::string> ports;
  // The error_code forms throughout: --list-ports prints what could be read
  // rather than fail on a tty that goes away meanwhile.
  std::error_code ec;
  for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& ttyDir = it->path();
    std::error_code existsError;
    if (!fs::exists(ttyDir / "device" / "driver", existsError)) continue;
    if (isEmptyUartSlot(ttyDir)) continue;
    ports.push_back(std::string(kDevPrefix) + ttyDir.filename().string());
  }
  std::sort(ports.begin(), ports.end(), naturalLess);
  return ports;
}

std::vector<std::string> listLoggerPorts() { return listLoggerPorts(DeviceRoots{}); }

std::vector<std::string> listSerialPorts() { return listSerialPorts(DeviceRoots{}.sys / "class" / "tty"); }

}  // namespace zorvik::ports
