// --list-ports, the port description and the adapter's identity, read by the
// real code through the system's own paths (/sys/class/tty, the usb-serial
// bus, /dev/serial/by-id) from an emulated machine.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "apps/cli/cli.h"
#include "ports/adapter_identity.h"
#include "ports/port_description.h"
#include "ports/port_lister.h"
#include "tests/umockdev/emulated_system.h"

namespace zorvik::umockdev {
namespace {

UsbAdapter ftdi(const std::string& tty, int minor, const std::string& serial, const std::string& usbPort) {
  UsbAdapter a;
  a.tty = tty;
  a.minor = minor;
  a.serial = serial;
  a.usbPort = usbPort;
  return a;
}

UsbAdapter cp210x(const std::string& tty, int minor) {
  UsbAdapter a;
  a.tty = tty;
  a.minor = minor;
  a.usbPort = "1-4";
  a.vendor = "10c4";
  a.product = "ea60";
  a.serial = "0001";
  a.manufacturer = "Silicon Labs";
  a.productName = "CP2102 USB to UART Bridge Controller";
  a.driver = "cp210x";
  return a;
}

class Emulated : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EmulatedSystem::preloaded())
        << "run under umockdev-wrapper (CTest sets LD_PRELOAD=libumockdev-preload.so.0): without it the real "
           "machine's devices would be read";
  }
  EmulatedSystem system_;
};

struct ListingCase {
  std::string name;
  std::vector<UsbAdapter> adapters;
  std::vector<BuiltInUart> uarts;
  std::string printed;  // by zorvik-updater-cli --list-ports
};
// gtest names the case instead of dumping its bytes.
void PrintTo(const ListingCase& c, std::ostream* out) { *out << c.name; }

class PortListing : public Emulated, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(PortListing, ListsTheLoggersAdaptersFirstWithTheirIdentity) {
  for (const UsbAdapter& adapter : GetParam().adapters) system_.add(adapter);
  for (const BuiltInUart& uart : GetParam().uarts) system_.add(uart);
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  cli::CliIo io{out, err, in};
  EXPECT_EQ(cli::runCli({"--list-ports"}, io), 0) << err.str();
  EXPECT_EQ(out.str(), GetParam().printed);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PortListing,
    ::testing::Values(
        ListingCase{"OneFtdiAdapter",
                    {ftdi("ttyUSB0", 0, "A12BC3D4", "1-1")},
                    {},
                    "/dev/ttyUSB0  logger adapter  serial A12BC3D4  usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0\n"},
        // Only the FTDI driver's ports are the loggers'; every other serial
        // device follows, the empty legacy UART slot (type 0) left out.
        ListingCase{"FtdiBesideOtherPorts",
                    {cp210x("ttyUSB0", 0), ftdi("ttyUSB1", 1, "FT9XYZ01", "1-2")},
                    {BuiltInUart{"ttyS0", 64, "4"}, BuiltInUart{"ttyS1", 65, "0"}},
                    "/dev/ttyUSB1  logger adapter  serial FT9XYZ01  usb-FTDI_FT232R_USB_UART_FT9XYZ01-if00-port0\n"
                    "/dev/ttyS0\n/dev/ttyUSB0\n"},
        // ttyUSB2 before ttyUSB10, each with its own adapter's identity.
        ListingCase{"TwoFtdiAdaptersInNaturalOrder",
                    {ftdi("ttyUSB10", 10, "B0000010", "1-1"), ftdi("ttyUSB2", 2, "B0000002", "1-2")},
                    {},
                    "/dev/ttyUSB2  logger adapter  serial B0000002  usb-FTDI_FT232R_USB_UART_B0000002-if00-port0\n"
                    "/dev/ttyUSB10  logger adapter  serial B0000010  usb-FTDI_FT232R_USB_UART_B0000010-if00-port0\n"},
        ListingCase{"NoSerialDevice", {}, {}, ""}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return info.param.name; });

struct DescriptionCase {
  std::string name;
  std::string port;  // as the user names it
  ports::PortDescription expected;
};
// gtest names the case instead of dumping its bytes.
void PrintTo(const DescriptionCase& c, std::ostream* out) { *out << c.name; }

ports::PortDescription ftdiDescription() {
  ports::PortDescription d;
  d.path = "/dev/ttyUSB0";
  d.byIdName = "usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0";
  d.driver = "ftdi_sio";
  d.usb = ports::UsbId{0x0403, 0x6001};
  d.usbSerial = "A12BC3D4";
  d.latencyMs = 16;
  d.deviceNumbers = "188:0";
  return d;
}

ports::PortDescription cp210xDescription() {
  ports::PortDescription d;
  d.path = "/dev/ttyUSB1";
  d.byIdName = "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
  d.driver = "cp210x";
  d.usb = ports::UsbId{0x10c4, 0xea60};
  d.usbSerial = "0001";
  d.latencyMs = 16;  // the emulation gives every usb-serial port a timer
  d.deviceNumbers = "188:1";
  return d;
}

ports::PortDescription uartDescription() {
  ports::PortDescription d;
  d.path = "/dev/ttyS0";
  d.driver = "serial8250";
  d.deviceNumbers = "4:64";
  return d;
}

class Description : public Emulated, public ::testing::WithParamInterface<DescriptionCase> {
 protected:
  void SetUp() override {
    Emulated::SetUp();
    system_.add(ftdi("ttyUSB0", 0, "A12BC3D4", "1-1"));
    system_.add(cp210x("ttyUSB1", 1));
    system_.add(BuiltInUart{});
  }
};

TEST_P(Description, ReadsTheSystemsFactsOfThePort) {
  const ports::PortDescription port = ports::describePort(GetParam().port);
  EXPECT_EQ(port.path, GetParam().expected.path);
  EXPECT_EQ(port.byIdName, GetParam().expected.byIdName);
  EXPECT_EQ(port.driver, GetParam().expected.driver);
  EXPECT_EQ(port.usb.has_value(), GetParam().expected.usb.has_value());
  if (port.usb && GetParam().expected.usb) {
    EXPECT_EQ(ports::usbIdText(*port.usb), ports::usbIdText(*GetParam().expected.usb));
  }
  EXPECT_EQ(port.usbSerial, GetParam().expected.usbSerial);
  EXPECT_EQ(port.latencyMs, GetParam().expected.latencyMs);
  EXPECT_EQ(port.deviceNumbers, GetParam().expected.deviceNumbers);
  // The identity a person checks the adapter by is the description's.
  const ports::AdapterIdentity identity = ports::adapterIdentity(GetParam().port);
  EXPECT_EQ(identity, (ports::AdapterIdentity{GetParam().expected.usbSerial, GetParam().expected.byIdName}));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, Description,
    ::testing::Values(
        DescriptionCase{"FtdiByNode", "/dev/ttyUSB0", ftdiDescription()},
        DescriptionCase{"FtdiByKernelName", "ttyUSB0", ftdiDescription()},
        DescriptionCase{"FtdiByItsByIdLink", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0",
                        ftdiDescription()},
        DescriptionCase{"OtherUsbAdapter", "/dev/ttyUSB1", cp210xDescription()},
        DescriptionCase{"BuiltInUart", "/dev/ttyS0", uartDescription()},
        DescriptionCase{"Unplugged", "/dev/ttyUSB7", ports::PortDescription{"/dev/ttyUSB7", {}, {}, {}, {}, {}, {}}}),
    [](const ::testing::TestParamInfo<DescriptionCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zorvik::umockdev
