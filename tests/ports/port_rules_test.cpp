// The rules of port discovery, without hardware: which ttys are the loggers',
// the natural order they are offered in, which serial-map entries are the
// loggers' on Windows, and which device notifications re-read the list.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ports/port_rules.h"

namespace zorvik::ports {
namespace {

TEST(LoggerPorts, OnlyFtdiTtysAreOfferedInNaturalOrder) {
  struct Case {
    const char* name;
    std::vector<TtyDevice> devices;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      // The serial-map example of the Windows form, in its Linux form.
      {"example",
       {{"/dev/ttyUSB1", "ftdi_sio"}, {"/dev/ttyS0", "serial8250"}, {"/dev/ttyUSB0", "ftdi_sio"}},
       {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
      {"natural order",
       {{"/dev/ttyUSB10", "ftdi_sio"}, {"/dev/ttyUSB2", "ftdi_sio"}, {"/dev/ttyUSB1", "ftdi_sio"}},
       {"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
      {"other usb-serial drivers and plain ttys",
       {{"/dev/ttyUSB3", "cp210x"}, {"/dev/ttyACM0", ""}, {"/dev/tty1", ""}, {"/dev/ttyUSB4", "ftdi_sio"}},
       {"/dev/ttyUSB4"}},
      {"the driver name must match exactly",
       {{"/dev/ttyUSB5", "ftdi_sio2"}, {"/dev/ttyUSB6", "FTDI_SIO"}, {"/dev/ttyUSB7", "ftdi"}},
       {}},
      {"names equal by value, one way in", {{"/dev/ttyUSB1", "ftdi_sio"}, {"/dev/ttyUSB01", "ftdi_sio"}},
       {"/dev/ttyUSB01", "/dev/ttyUSB1"}},
      {"names equal by value, the other way in", {{"/dev/ttyUSB01", "ftdi_sio"}, {"/dev/ttyUSB1", "ftdi_sio"}},
       {"/dev/ttyUSB01", "/dev/ttyUSB1"}},
      {"a tty without a node", {{"", "ftdi_sio"}}, {}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(loggerPorts(c.devices), c.expected);
  }
}

TEST(NaturalOrder, ComparesDigitRunsByValueAndTheRestByCharacter) {
  struct Case {
    const char* name;
    std::string a;
    std::string b;
    bool aFirst;  // naturalLess(a, b)
    bool bFirst;  // naturalLess(b, a)
  };
  const Case cases[] = {
      {"one digit before two", "ttyUSB2", "ttyUSB10", true, false},
      {"nine before ten", "ttyUSB9", "ttyUSB10", true, false},
      {"letters before the numbers decide", "ttyS9", "ttyUSB0", true, false},
      {"the same name", "ttyUSB1", "ttyUSB1", false, false},
      {"equal by value, told apart by text", "ttyUSB01", "ttyUSB1", true, false},
      {"zeros only, told apart by text", "x0", "x000", true, false},
      {"a prefix first", "ttyUSB", "ttyUSB0", true, false},
      {"a digit before a letter", "tty0", "ttyS", true, false},
      {"a later digit run decides", "a2b9", "a2b10", true, false},
      {"an earlier run outweighs a later one", "a10b1", "a9b99", false, true},
      {"numbers beyond 64 bits", "p99999999999999999999", "p100000000000000000000", true, false},
      {"leading zeros do not make a number larger", "p0010", "p9", false, true},
      {"UTF-8 after ASCII, as in plain text order", "tty\xc3\x84", "ttyZ", false, true},
      {"empty first", "", "a", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(naturalLess(c.a, c.b), c.aFirst);
    EXPECT_EQ(naturalLess(c.b, c.a), c.bFirst);
  }
}

// Names chosen to meet every branch of the comparison (runs of different
// length, leading zeros, prefixes, digits against letters, several runs), in
// the order the rule must give. Names equal by value follow their text:
// "01" before "1".
std::vector<std::string> orderedNames() {
  return {"",         "0",         "00",       "01",      "1",        "2",        "10",       "tty",
          "tty0",     "tty00",     "tty001",   "tty01",   "tty1",     "tty9",     "tty10",    "tty10a",
          "tty10b02", "tty10b2",   "tty10b9",  "tty10b10", "ttyACM0", "ttyS0",    "ttyS01",   "ttyS1",
          "ttyS2",    "ttyS10",    "ttyUSB",   "ttyUSB0", "ttyUSB01", "ttyUSB1",  "ttyUSB2",  "ttyUSB10",
          "ttyUSB100"};
}

TEST(NaturalOrder, IsAStrictTotalOrder) {
  const std::vector<std::string> names = orderedNames();
  for (const std::string& a : names) {
    EXPECT_FALSE(naturalLess(a, a)) << a;
    for (const std::string& b : names) {
      if (a == b) continue;
      // Total and asymmetric: of two different names exactly one comes first.
      EXPECT_NE(naturalLess(a, b), naturalLess(b, a)) << a << " / " << b;
      for (const std::string& c : names) {
        if (naturalLess(a, b) && naturalLess(b, c)) {
          EXPECT_TRUE(naturalLess(a, c)) << a << " < " << b << " < " << c;
        }
      }
    }
  }
}

TEST(NaturalOrder, SortingGivesOneResultWhateverTheInputOrder) {
  const std::vector<std::string> expected = orderedNames();
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    std::vector<std::string> names = expected;
    std::shuffle(names.begin(), names.end(), std::mt19937(seed));
    std::sort(names.begin(), names.end(), naturalLess);
    EXPECT_EQ(names, expected);
  }
}

TEST(SerialMap, KeepsTheVcpPortsInMapOrder) {
  struct Case {
    const char* name;
    std::vector<SerialMapValue> values;
    std::vector<std::string> ports;
  };
  const Case cases[] = {
      {"VCP0, Serial0, vcp1: letter case ignored, others dropped",
       {{"\\Device\\VCP0", "COM5"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\vcp1", "COM9"}},
       {"COM5", "COM9"}},
      {"map order kept, no sorting, duplicates kept",
       {{"\\Device\\VCP3", "COM12"}, {"\\Device\\VCP1", "COM3"}, {"\\DEVICE\\VCP2", "COM3"}},
       {"COM12", "COM3", "COM3"}},
      {"the prefix must open the name",
       {{"\\Device\\USBVCP0", "COM6"}, {"VCP0", "COM7"}, {"\\Device\\VC", "COM8"}, {"\\Device\\VCP", "COM9"}},
       {"COM9"}},
      {"names shorter than the prefix", {{"\\", "COM1"}, {"", "COM2"}}, {}},
      {"no VCP entry", {{"\\Device\\Serial1", "COM2"}}, {}},
      {"no map", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(vcpPortsFromSerialMap(c.values), c.ports);
  }
}

TEST(DeviceNotifications, OnlyPortArrivalAndRemovalAreChanges) {
  constexpr DeviceEvent kArrival = DeviceEvent::Arrival;
  constexpr DeviceEvent kRemoval = DeviceEvent::Removal;
  constexpr DeviceEvent kNoEvent = DeviceEvent::Other;
  constexpr DeviceKind kPort = DeviceKind::Port;
  constexpr DeviceKind kNoPort = DeviceKind::Other;
  struct Case {
    const char* name;
    DeviceNotification notification;
    DeviceNotification expected;
    bool change;
  };
  const Case cases[] = {
      {"udev add tty", fromUdevEvent("add", "tty"), {kArrival, kPort}, true},
      {"udev remove tty", fromUdevEvent("remove", "tty"), {kRemoval, kPort}, true},
      {"udev change tty", fromUdevEvent("change", "tty"), {kNoEvent, kPort}, false},
      {"udev bind tty", fromUdevEvent("bind", "tty"), {kNoEvent, kPort}, false},
      {"udev add block", fromUdevEvent("add", "block"), {kArrival, kNoPort}, false},
      {"udev remove usb", fromUdevEvent("remove", "usb"), {kRemoval, kNoPort}, false},
      {"win arrival port", fromWinDeviceChange(0x8000, 3), {kArrival, kPort}, true},
      {"win removal port", fromWinDeviceChange(0x8004, 3), {kRemoval, kPort}, true},
      {"win arrival volume", fromWinDeviceChange(0x8000, 2), {kArrival, kNoPort}, false},
      {"win arrival interface", fromWinDeviceChange(0x8000, 5), {kArrival, kNoPort}, false},
      {"win remove pending port", fromWinDeviceChange(0x8003, 3), {kNoEvent, kPort}, false},
      {"win nodes changed", fromWinDeviceChange(0x0007, 0), {kNoEvent, kNoPort}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.notification, c.expected);
    EXPECT_EQ(isPortChange(c.notification), c.change);
  }
}

}  // namespace
}  // namespace zorvik::ports
