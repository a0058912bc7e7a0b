// The doctor's checks of a port before it opens it, on an emulated machine:
// the device node, its driver, the adapter's identity and latency timer come
// through the doctor's real reading of /dev and /sys. udev's rules folders
// lie in the test bed's directory, so the rule findings do not depend on
// what this machine has installed.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/linux_checks.h"
#include "tests/umockdev/emulated_system.h"

namespace zorvik::umockdev {
namespace {

using diagnostics::Finding;
using diagnostics::Level;

// One finding as far as the emulated machine decides it: the level and the
// beginning of what was found. Nothing for the checks that read this
// machine's account and processes (permission, holder, modemmanager): they
// only have to be there.
struct Expected {
  std::string check;
  std::optional<Level> level{};
  std::string foundStart{};
};

struct DoctorCase {
  std::string name;
  std::vector<UsbAdapter> adapters;
  std::vector<BuiltInUart> uarts;
  std::string port;
  std::vector<Expected> findings;
};
// gtest names the case instead of dumping its bytes.
void PrintTo(const DoctorCase& c, std::ostream* out) { *out << c.name; }

const std::string kFtdiLink = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0";

UsbAdapter ftdiWithTimer(const std::string& latencyMs) {
  UsbAdapter a;
  a.latencyMs = latencyMs;
  return a;
}

UsbAdapter otherVendor() {
  UsbAdapter a;
  a.vendor = "10c4";
  a.product = "ea60";
  a.manufacturer = "Silicon Labs";
  a.productName = "CP2102";
  a.driver = "cp210x";
  return a;
}

const Expected kRuleMissing{"udev-rule", Level::Warning, "the package's udev rule 70-zorvik-logger.rules is not installed"};

class DoctorOnEmulatedDevices : public ::testing::TestWithParam<DoctorCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EmulatedSystem::preloaded()) << "run under umockdev-wrapper (CTest sets LD_PRELOAD)";
  }
  EmulatedSystem system_;
};

TEST_P(DoctorOnEmulatedDevices, FindsWhatTheSystemSaysOfThePort) {
  for (const UsbAdapter& adapter : GetParam().adapters) system_.add(adapter);
  for (const BuiltInUart& uart : GetParam().uarts) system_.add(uart);
  // /sys, /dev and /proc where the doctor looks for them by default; only
  // udev's folders moved.
  diagnostics::SystemRoots roots;
  const diagnostics::SystemRoots udev = diagnostics::SystemRoots::under(system_.root() / "udev-folders");
  roots.etcUdev = udev.etcUdev;
  roots.runUdev = udev.runUdev;
  roots.libUdev = udev.libUdev;
  roots.usrLibUdev = udev.usrLibUdev;

  const auto checks = diagnostics::linuxChecks(GetParam().port, roots, diagnostics::currentUser());
  const std::vector<Finding>& found = checks.findings;
  ASSERT_EQ(found.size(), GetParam().findings.size()) << "first: " << (found.empty() ? "" : found.front().found);
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Expected& expected = GetParam().findings[i];
    SCOPED_TRACE(expected.check + ": " + found[i].found);
    EXPECT_EQ(found[i].check, expected.check);
    if (expected.level) {
      EXPECT_EQ(found[i].level, *expected.level);
    }
    EXPECT_EQ(found[i].found.substr(0, expected.foundStart.size()), expected.foundStart);
  }
  EXPECT_EQ(checks.tryOpen, GetParam().findings.front().level != Level::Fail);
  if (checks.tryOpen) {
    EXPECT_EQ(checks.openPath, GetParam().port) << "the doctor opens the port the user named";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, DoctorOnEmulatedDevices,
    ::testing::Values(
        DoctorCase{"FtdiWithTheDriversDefaultTimer",
                   {ftdiWithTimer("16")},
                   {},
                   "/dev/ttyUSB0",
                   {{"device", Level::Ok, "/dev/ttyUSB0 exists"},
                    {"driver", Level::Ok, "ftdi_sio: an FTDI USB serial adapter (USB 0403:6001)"},
                    {"adapter", Level::Ok,
                     "USB serial number A12BC3D4, /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0"},
                    kRuleMissing,
                    {"permission"},
                    {"holder"},
                    {"modemmanager"},
                    {"brltty", Level::Ok, "no brltty rule claims USB devices 0403:6001"},
                    {"latency", Level::Warning, "the FTDI latency timer is 16 ms (1 ms is best)"}}},
        DoctorCase{"FtdiByItsLinkWithAFastTimer",
                   {ftdiWithTimer("1")},
                   {},
                   kFtdiLink,
                   {{"device", Level::Ok, kFtdiLink + " exists and is /dev/ttyUSB0"},
                    {"driver", Level::Ok, "ftdi_sio: an FTDI USB serial adapter (USB 0403:6001)"},
                    {"adapter", Level::Ok, "USB serial number A12BC3D4, " + kFtdiLink},
                    kRuleMissing,
                    {"permission"},
                    {"holder"},
                    {"modemmanager"},
                    {"brltty", Level::Ok},
                    {"latency", Level::Ok, "the FTDI latency timer is 1 ms"}}},
        // Another maker's adapter: no latency timer of FTDI's to check.
        DoctorCase{"OtherUsbAdapter",
                   {otherVendor()},
                   {},
                   "/dev/ttyUSB0",
                   {{"device", Level::Ok},
                    {"driver", Level::Warning,
                     "cp210x (USB 10c4:ea60): not an FTDI adapter, which the loggers' cables have"},
                    {"adapter", Level::Ok, "USB serial number A12BC3D4, /dev/serial/by-id/usb-Silicon_Labs_CP2102_"},
                    kRuleMissing,
                    {"permission"},
                    {"holder"},
                    {"modemmanager"},
                    {"brltty", Level::Ok, "no brltty rule claims USB devices 10c4:ea60"}}},
        // No USB device above the tty: no adapter, rule or USB checks.
        DoctorCase{"BuiltInUart",
                   {},
                   {BuiltInUart{}},
                   "/dev/ttyS0",
                   {{"device", Level::Ok, "/dev/ttyS0 exists"},
                    {"driver", Level::Warning, "not a USB adapter: a built-in serial port (driver serial8250)"},
                    {"permission"},
                    {"holder"}}},
        DoctorCase{"Unplugged", {}, {}, "/dev/ttyUSB0", {{"device", Level::Fail, "no such port: /dev/ttyUSB0"}}}),
    [](const ::testing::TestParamInfo<DoctorCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zorvik::umockdev
