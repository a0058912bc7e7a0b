// Plugging an emulated adapter in and out: the window's device monitor hears
// udev's events through libudev's real monitor, and the station's watch on
// /dev/serial/by-id sees the link come and go and takes it by the USB vendor
// it reads behind the link.
#include <gtest/gtest.h>
#include <poll.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ports/device_monitor.h"
#include "ports/link_watcher.h"
#include "ports/port_rules.h"
#include "station/station_policy.h"
#include "tests/umockdev/emulated_system.h"

namespace zorvik::umockdev {
namespace {

using ports::DeviceEvent;
using ports::DeviceKind;
using ports::DeviceNotification;
using ports::LinkChange;

// Long enough for a loaded machine; an event that arrives returns at once.
constexpr int kWaitMs = 5000;
// How long silence must last to count as no event.
constexpr int kQuietMs = 200;

bool readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN) != 0;
}

class PlugDetection : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EmulatedSystem::preloaded()) << "run under umockdev-wrapper (CTest sets LD_PRELOAD)";
  }
  EmulatedSystem system_;
};

struct MonitorCase {
  std::string name;
  std::string action;
  bool onTty;  // the tty's event, else the USB device's
  std::optional<DeviceNotification> expected;
};
// gtest names the case instead of dumping its bytes.
void PrintTo(const MonitorCase& c, std::ostream* out) { *out << c.name; }

class Monitor : public PlugDetection, public ::testing::WithParamInterface<MonitorCase> {};

TEST_P(Monitor, ReportsThePortsOwnEventsOnly) {
  UsbAdapter adapter;
  system_.add(adapter);
  ports::DeviceMonitor monitor;
  ASSERT_GE(monitor.fd(), 0) << "libudev opened no monitor on the emulated event socket";
  system_.uevent(GetParam().onTty ? adapter.ttySysPath() : adapter.usbSysPath(), GetParam().action);
  if (!GetParam().expected) {
    // The monitor filters in the kernel's socket filter: nothing arrives.
    EXPECT_FALSE(readable(monitor.fd(), kQuietMs) && monitor.receive()) << "an event of another subsystem came through";
    return;
  }
  ASSERT_TRUE(readable(monitor.fd(), kWaitMs)) << "no event reached the monitor's descriptor";
  EXPECT_EQ(monitor.receive(), GetParam().expected);
  EXPECT_EQ(monitor.receive(), std::nullopt) << "one uevent, one notification";
}

INSTANTIATE_TEST_SUITE_P(
    Events, Monitor,
    ::testing::Values(MonitorCase{"TtyAdded", "add", true, DeviceNotification{DeviceEvent::Arrival, DeviceKind::Port}},
                      MonitorCase{"TtyRemoved", "remove", true,
                                  DeviceNotification{DeviceEvent::Removal, DeviceKind::Port}},
                      MonitorCase{"TtyChanged", "change", true, DeviceNotification{DeviceEvent::Other, DeviceKind::Port}},
                      MonitorCase{"UsbDeviceAdded", "add", false, std::nullopt}),
    [](const ::testing::TestParamInfo<MonitorCase>& info) { return info.param.name; });

// The station's own folder and choice (no folder given on its command line).
struct StationCase {
  std::string name;
  UsbAdapter adapter;
  bool taken;
};
// gtest names the case instead of dumping its bytes.
void PrintTo(const StationCase& c, std::ostream* out) { *out << c.name; }

UsbAdapter withIdentity(const std::string& vendor, const std::string& manufacturer) {
  UsbAdapter a;
  a.vendor = vendor;
  a.manufacturer = manufacturer;
  return a;
}

class StationWatch : public PlugDetection, public ::testing::WithParamInterface<StationCase> {};

TEST_P(StationWatch, SeesTheLinkComeAndGoAndJudgesItByTheUsbVendor) {
  const station::StationLinks links = station::stationLinks({});
  ASSERT_EQ(links.watchDir, ports::kSerialByIdDir);
  // Before the first adapter there is no by-id folder at all.
  ports::LinkWatcher watcher(links.watchDir);
  ASSERT_GE(watcher.fd(), 0);
  EXPECT_EQ(watcher.changes(), std::vector<LinkChange>{});

  const UsbAdapter& adapter = GetParam().adapter;
  system_.add(adapter);
  // The folder appears with the link: the watch on its parent has to move down.
  std::vector<LinkChange> seen;
  for (int round = 0; round < 3 && seen.empty(); ++round) {
    ASSERT_TRUE(readable(watcher.fd(), kWaitMs)) << "the plug-in left the watch's descriptor silent";
    seen = watcher.changes();
  }
  ASSERT_EQ(seen, (std::vector<LinkChange>{{LinkChange::Kind::Appeared, adapter.byIdName()}}));
  EXPECT_EQ(links.links.takes(links.watchDir / adapter.byIdName()), GetParam().taken);

  system_.remove(adapter);
  ASSERT_TRUE(readable(watcher.fd(), kWaitMs)) << "the unplug left the watch's descriptor silent";
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{LinkChange::Kind::Vanished, adapter.byIdName()}}));
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, StationWatch,
    ::testing::Values(StationCase{"FtdiAdapter", UsbAdapter{}, true},
                      // The vendor decides, not the maker string in the link's name.
                      StationCase{"FtdiVendorWithAnotherMakerName", withIdentity("0403", "Acme"), true},
                      StationCase{"OtherVendorNamedFtdi", withIdentity("10c4", "FTDI"), false}),
    [](const ::testing::TestParamInfo<StationCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zorvik::umockdev
