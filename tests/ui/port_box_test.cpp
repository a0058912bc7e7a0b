// The port box is read again only when a port arrives or goes away, and keeps
// what the user typed into it.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

#include "ports/port_rules.h"
#include "tests/ui/ui_fixture.h"

namespace zorvik::testing {
namespace {

class PortBoxTest : public UiTest {};

TEST_F(PortBoxTest, DeviceChangesRereadTheListAndKeepTheText) {
  std::vector<std::string> offered = {"/dev/ttyUSB0"};
  ui::MainWindowEnvironment environment;
  environment.readPorts = [&offered] { return offered; };
  environment.watchDevices = false;
  window = std::make_unique<ui::MainWindow>(QStringList{"zorvik-updater"}, environment);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  auto* box = child<QComboBox>(roles::kPortBox);
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB0");  // the first entry is selected at start-up

  box->setEditText("/dev/ttyUSB7");
  offered = {"/dev/ttyUSB0", "/dev/ttyUSB2"};
  window->handleDeviceChange(ports::fromUdevEvent("add", "block"));
  EXPECT_EQ(box->count(), 1) << "another device type must leave the list alone";
  window->handleDeviceChange(ports::fromUdevEvent("bind", "tty"));
  EXPECT_EQ(box->count(), 1);

  window->handleDeviceChange(ports::fromUdevEvent("add", "tty"));
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(1), "/dev/ttyUSB2");
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB7") << "the box keeps its text";
  box->hidePopup();

  offered = {};
  window->handleDeviceChange(ports::fromUdevEvent("remove", "tty"));
  EXPECT_EQ(box->count(), 0);
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB7");
  box->hidePopup();
}

}  // namespace
}  // namespace zorvik::testing
