// The port list offers exactly the loggers' ports, in a stable natural order,
// and is read again only when a port arrives or goes away.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

#include "port_list.h"
#include "ui_fixture.h"

namespace zorvik::testing {
namespace {

using ui::DeviceNotification;
using ui::TtyDevice;

TEST(PortListTest, OnlyFtdiTtysAreOfferedInNaturalOrder) {
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
      {"a tty without a node", {{"", "ftdi_sio"}}, {}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::LoggerPorts(c.devices), c.expected);
  }
}

TEST(PortListTest, NaturalOrderComparesDigitRunsByValue) {
  EXPECT_TRUE(ui::NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(ui::NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(ui::NaturalLess("ttyUSB9", "ttyUSB10"));
  EXPECT_TRUE(ui::NaturalLess("ttyS9", "ttyUSB0"));  // letters before numbers decide
  EXPECT_FALSE(ui::NaturalLess("ttyUSB1", "ttyUSB1"));
  // Equal by value but different text: still one strict order.
  EXPECT_NE(ui::NaturalLess("ttyUSB01", "ttyUSB1"), ui::NaturalLess("ttyUSB1", "ttyUSB01"));
}

TEST(PortListTest, WindowsSerialMapKeepsVcpEntriesInMapOrder) {
  const std::vector<std::pair<std::string, std::string>> map = {
      {"\\Device\\VCP0", "COM5"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\vcp1", "COM9"}};
  EXPECT_EQ(ui::VcpPortsFromSerialMap(map), (std::vector<std::string>{"COM5", "COM9"}));
  EXPECT_TRUE(ui::VcpPortsFromSerialMap({{"\\Device\\Serial1", "COM2"}}).empty());
}

TEST(PortListTest, OnlyPortArrivalAndRemovalAreChanges) {
  struct Case {
    const char* name;
    DeviceNotification notification;
    bool change;
  };
  const Case cases[] = {
      {"udev add tty", ui::FromUdevEvent("add", "tty"), true},
      {"udev remove tty", ui::FromUdevEvent("remove", "tty"), true},
      {"udev change tty", ui::FromUdevEvent("change", "tty"), false},
      {"udev add block", ui::FromUdevEvent("add", "block"), false},
      {"win arrival port", ui::FromWinDeviceChange(0x8000, 3), true},
      {"win removal port", ui::FromWinDeviceChange(0x8004, 3), true},
      {"win arrival volume", ui::FromWinDeviceChange(0x8000, 2), false},
      {"win arrival interface", ui::FromWinDeviceChange(0x8000, 5), false},
      {"win remove pending port", ui::FromWinDeviceChange(0x8003, 3), false},
      {"win nodes changed", ui::FromWinDeviceChange(0x0007, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::IsPortChange(c.notification), c.change);
  }
}

TEST(PortListTest, SystemReadingOffersOnlyDeviceNodes) {
  // Without a logger plugged in the list is usually empty; whatever it holds
  // must be device nodes of USB serial ports.
  for (const std::string& port : ui::ReadSerialPorts()) EXPECT_EQ(port.rfind("/dev/ttyUSB", 0), 0u) << port;
}

class PortBoxTest : public UiTest {};

TEST_F(PortBoxTest, DeviceChangesRereadTheListAndKeepTheText) {
  std::vector<std::string> ports = {"/dev/ttyUSB0"};
  ui::MainWindowEnvironment environment;
  environment.readPorts = [&ports] { return ports; };
  environment.watchDevices = false;
  window = std::make_unique<ui::TfrmMain>(QStringList{"zorvik-updater"}, environment);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  auto* box = child<QComboBox>("cbxPort");
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB0");  // the first entry is selected at start-up

  box->setEditText("/dev/ttyUSB7");
  ports = {"/dev/ttyUSB0", "/dev/ttyUSB2"};
  window->HandleDeviceChange(ui::FromUdevEvent("add", "block"));
  EXPECT_EQ(box->count(), 1) << "another device type must leave the list alone";
  window->HandleDeviceChange(ui::FromUdevEvent("bind", "tty"));
  EXPECT_EQ(box->count(), 1);

  window->HandleDeviceChange(ui::FromUdevEvent("add", "tty"));
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(1), "/dev/ttyUSB2");
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB7") << "the box keeps its text";
  box->hidePopup();

  ports = {};
  window->HandleDeviceChange(ui::FromUdevEvent("remove", "tty"));
  EXPECT_EQ(box->count(), 0);
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB7");
  box->hidePopup();
}

}  // namespace
}  // namespace zorvik::testing
