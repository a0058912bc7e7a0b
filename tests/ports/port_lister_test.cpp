// What --list-ports prints on Linux, read from a sysfs tty class built in a
// temporary directory; and the system's own lists, whatever they hold here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "ports/port_description.h"
#include "ports/port_lister.h"
#include "ports/port_rules.h"
#include "tests/ports/temp_dir.h"

namespace zorvik::ports {
namespace {

namespace fs = std::filesystem;

// One entry of /sys/class/tty as far as the lister looks at it.
struct FakeTty {
  enum class Device { None, WithoutDriver, WithDriver };
  std::string name;
  Device device = Device::WithDriver;
  std::optional<std::string> type{};  // the contents of "type", when there is one
  bool linked = false;              // laid out as sysfs does: links into a device tree
};

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text << '\n';
  ASSERT_TRUE(out.good()) << path;
}

// Builds root/class/tty/<name> for each entry; returns root/class/tty.
fs::path makeTtyClass(const fs::path& root, const std::vector<FakeTty>& ttys) {
  const fs::path ttyClass = root / "class" / "tty";
  fs::create_directories(ttyClass);
  fs::create_directories(root / "bus" / "drivers" / "serial");
  for (const FakeTty& tty : ttys) {
    fs::path dir = ttyClass / tty.name;
    if (tty.linked) {
      // /sys/class/tty/ttyUSB0 -> ../../devices/usb1/ttyUSB0, whose device
      // link leads to its parent and the parent's driver link to the driver.
      const fs::path parent = root / "devices" / "usb1";
      dir = parent / tty.name;
      fs::create_directories(dir);
      fs::create_directory_symlink(fs::path("..") / ".." / "devices" / "usb1" / tty.name, ttyClass / tty.name);
      if (tty.device != FakeTty::Device::None) fs::create_directory_symlink("..", dir / "device");
      if (tty.device == FakeTty::Device::WithDriver && !fs::exists(parent / "driver")) {
        fs::create_directory_symlink(fs::path("..") / ".." / "bus" / "drivers" / "serial", parent / "driver");
      }
    } else {
      fs::create_directories(dir);
      if (tty.device != FakeTty::Device::None) fs::create_directory(dir / "device");
      if (tty.device == FakeTty::Device::WithDriver) fs::create_directory(dir / "device" / "driver");
    }
    if (tty.type) writeFile(dir / "type", *tty.type);
  }
  return ttyClass;
}

TEST(SysfsPorts, ListsEveryTtyWithADriverExceptEmptyUartSlots) {
  using Device = FakeTty::Device;
  struct Case {
    const char* name;
    std::vector<FakeTty> ttys;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"a tty with a driver", {{"ttyUSB0"}}, {"/dev/ttyUSB0"}},
      {"a virtual console has no device", {{"tty1", Device::None}, {"console", Device::None}}, {}},
      {"a device without a driver", {{"ttyACM0", Device::WithoutDriver}}, {}},
      {"an empty UART slot (type 0) is left out, a fitted one stays",
       {{"ttyS0", Device::WithDriver, "0"}, {"ttyS1", Device::WithDriver, "4"}},
       {"/dev/ttyS1"}},
      {"type only counts with a driver", {{"ttyS2", Device::None, "4"}}, {}},
      {"an unreadable type keeps the port", {{"ttyS3", Device::WithDriver, "unknown"}}, {"/dev/ttyS3"}},
      {"natural order",
       {{"ttyUSB10"}, {"ttyUSB2"}, {"ttyS1", Device::WithDriver, "4"}, {"ttyACM0"}, {"ttyUSB1"}},
       {"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
      {"sysfs links are followed",
       {{"ttyUSB0", Device::WithDriver, std::nullopt, true},
        {"ttyUSB1", Device::WithoutDriver, std::nullopt, false},
        {"ttyS0", Device::WithDriver, "0", true}},
       {"/dev/ttyUSB0"}},
      {"an empty class", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir root;
    EXPECT_EQ(listSerialPorts(makeTtyClass(root.path(), c.ttys)), c.expected);
  }
}

TEST(SysfsPorts, NoTtyClassListsNothing) {
  const TempDir root;
  EXPECT_TRUE(listSerialPorts(root.path() / "class" / "tty").empty());
}

TEST(SystemPorts, SerialPortsAreTheSysfsTtyClassInNaturalOrder) {
  const std::vector<std::string> ports = listSerialPorts();
  EXPECT_EQ(ports, listSerialPorts("/sys/class/tty"));
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), naturalLess));
  for (const std::string& port : ports) EXPECT_EQ(port.rfind("/dev/", 0), 0u) << port;
}

TEST(SystemPorts, LoggerPortsAreUsbSerialDeviceNodes) {
  // Without a logger plugged in the list is usually empty; whatever it holds
  // must be device nodes of USB serial ports, in natural order.
  const std::vector<std::string> ports = listLoggerPorts();
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), naturalLess));
  for (const std::string& port : ports) EXPECT_EQ(port.rfind("/dev/ttyUSB", 0), 0u) << port;
}

}  // namespace
}  // namespace zorvik::ports
