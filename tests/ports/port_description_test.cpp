// What the system says of a port, read from a Linux system built in a
// temporary directory (sysfs, /dev, the by-id links), and the parsing of
// what the platforms return.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/port_description.h"
#include "ports/port_lister.h"
#include "ports/port_rules.h"
#include "tests/diagnostics/fake_system.h"

namespace zorvik::ports {
namespace {

using diagnostics::testing::FakeSystem;

// A port the system knows nothing more of than its path.
PortDescription pathOnly(std::string path) {
  PortDescription d;
  d.path = std::move(path);
  return d;
}

DeviceRoots rootsOf(const FakeSystem& system) {
  return {system.path("sys"), system.path("dev"), system.path("dev/serial/by-id")};
}

TEST(PortDescription, ReadsTheTtyTheUsbDeviceAboveItAndItsLink) {
  struct Case {
    const char* name;
    std::function<void(FakeSystem&)> build;
    std::string port;  // as the caller names it; "dev/..." lies below the tree
    PortDescription expected;
  };
  const std::string byId = "usb-FTDI_FT232R_USB_UART_FT4ABC12-if00-port0";
  const Case cases[] = {
      {"an FTDI adapter with its latency timer and by-id link",
       [&](FakeSystem& s) {
         s.addUsbTty({});
         s.setLatency("ttyUSB0", "16");
         s.addByIdLink(byId, "ttyUSB0");
       },
       "dev/ttyUSB0",
       {"/dev/ttyUSB0", byId, "ftdi_sio", UsbId{0x0403, 0x6001}, "FT4ABC12", 16, "188:0"}},
      {"named through its by-id link",
       [&](FakeSystem& s) {
         s.addUsbTty({});
         s.addByIdLink(byId, "ttyUSB0");
       },
       "dev/serial/by-id/" + byId,
       {"/dev/ttyUSB0", byId, "ftdi_sio", UsbId{0x0403, 0x6001}, "FT4ABC12", std::nullopt, "188:0"}},
      {"another maker's adapter without a serial number",
       [](FakeSystem& s) { s.addUsbTty({.driver = "pl2303", .vendor = "067b", .product = "2303", .serial = ""}); },
       "dev/ttyUSB0",
       {"/dev/ttyUSB0", "", "pl2303", UsbId{0x067b, 0x2303}, "", std::nullopt, "188:0"}},
      {"a USB device whose ids are no hex numbers is no USB adapter",
       [](FakeSystem& s) { s.addUsbTty({.vendor = "FTDI"}); },
       "dev/ttyUSB0",
       {"/dev/ttyUSB0", "", "ftdi_sio", std::nullopt, "", std::nullopt, "188:0"}},
      {"an unreadable latency timer is unknown",
       [](FakeSystem& s) {
         s.addUsbTty({});
         s.setLatency("ttyUSB0", "fast");
       },
       "dev/ttyUSB0",
       {"/dev/ttyUSB0", "", "ftdi_sio", UsbId{0x0403, 0x6001}, "FT4ABC12", std::nullopt, "188:0"}},
      {"a pseudo-terminal has nothing in sysfs", [](FakeSystem& s) { s.addNode("pts/3"); }, "dev/pts/3",
       pathOnly("/dev/pts/3")},
      {"a node without a tty in sysfs", [](FakeSystem& s) { s.addNode("ttyS9"); }, "dev/ttyS9", pathOnly("/dev/ttyS9")},
      {"no port named", [](FakeSystem&) {}, "", PortDescription{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    ASSERT_TRUE(system.ready());
    c.build(system);
    const std::string port = c.port.empty() ? std::string() : system.path(c.port).string();
    EXPECT_EQ(describePort(port, rootsOf(system)), c.expected);
  }
}

// The fake system's nodes are plain files; a real port is a device node, and
// a by-id link to one must be found all the same. /dev/null stands in for
// the tty.
TEST(PortDescription, FindsTheByIdLinkOfADeviceNode) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  const std::filesystem::path byId = system.path("by-id");
  std::filesystem::create_directories(byId);
  std::filesystem::create_symlink("/dev/null", byId / "usb-FTDI_FT232R_USB_UART_FT4ABC12-if00-port0");
  const DeviceRoots roots{system.path("sys"), "/dev", byId};
  EXPECT_EQ(describePort("/dev/null", roots).byIdName, "usb-FTDI_FT232R_USB_UART_FT4ABC12-if00-port0");
}

TEST(PortDescription, ThisSystemsPortsDescribeThemselves) {
  // Whatever is plugged in here: each logger port is a tty of the loggers'
  // driver, and names itself.
  for (const std::string& port : listLoggerPorts()) {
    SCOPED_TRACE(port);
    const PortDescription description = describePort(port);
    EXPECT_EQ(description.path, port);
    EXPECT_EQ(description.driver, kLoggerSerialDriver);
  }
}

TEST(ParseUsbId, TakesOneToFourHexDigits) {
  EXPECT_EQ(parseUsbId("0403"), 0x0403);
  EXPECT_EQ(parseUsbId("403"), 0x0403);
  EXPECT_EQ(parseUsbId("FE60"), 0xFE60);
  EXPECT_EQ(parseUsbId(" 6001\n"), 0x6001);
  EXPECT_EQ(parseUsbId("60*"), std::nullopt);
  EXPECT_EQ(parseUsbId("10403"), std::nullopt);
  EXPECT_EQ(parseUsbId(""), std::nullopt);
}

TEST(UsbIdText, FourLowerCaseHexDigitsEach) {
  EXPECT_EQ(usbIdText({0x0403, 0x6001}), "0403:6001");
  EXPECT_EQ(usbIdText({0x10C4, 0xEA60}), "10c4:ea60");
  EXPECT_EQ(usbIdText({0, 0}), "0000:0000");
}

TEST(ParseLatency, TakesTheFirstLineOfDigits) {
  struct Case {
    const char* name;
    const char* text;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"as the kernel writes it", "16\n", 16},
      {"one ms", "1", 1},
      {"a trailing carriage return and blank", "2\r \n", 2},
      {"only the first line counts", "4\n99\n", 4},
      {"no digits", "fast\n", std::nullopt},
      {"a sign", "-1\n", std::nullopt},
      {"too long to be a timer", "123456\n", std::nullopt},
      {"empty: no file", "", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseLatency(c.text), c.expected) << c.name;
}

TEST(SerialMap, NamesThePortsDeviceObjectAndTellsTheFtdiDriversOnes) {
  const std::vector<SerialMapValue> map = {
      {"\\Device\\Serial0", "COM1"}, {"\\Device\\VCP0", "COM5"}, {"\\device\\vcp1", "COM12"}};
  struct Case {
    const char* name;
    const char* port;
    std::optional<std::string> device;
    bool vcp;
  };
  const Case cases[] = {
      {"a built-in port", "COM1", "\\Device\\Serial0", false},
      {"an FTDI port", "COM5", "\\Device\\VCP0", true},
      {"named in lower case with the device prefix", "\\\\.\\com12", "\\device\\vcp1", true},
      {"not in the map", "COM7", std::nullopt, false},
      {"a longer number is another port", "COM50", std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto device = serialMapDevice(map, c.port);
    EXPECT_EQ(device, c.device);
    EXPECT_EQ(device && isVcpDevice(*device), c.vcp);
  }
  EXPECT_FALSE(isVcpDevice("\\Device\\VC"));
}

}  // namespace
}  // namespace zorvik::ports
