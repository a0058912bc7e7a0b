// The plug/unplug monitor opens where the system lets it and never blocks
// its caller's event loop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "ports/device_monitor.h"

namespace zorvik::ports {
namespace {

// Whether this process may open the kernel's device-event socket at all,
// asked without libudev: where it may, the monitor has no excuse to fail.
std::string ueventSocketRefusal() {
  const int probe = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (probe < 0) return std::strerror(errno);
  close(probe);
  return {};
}

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(DeviceMonitor, OpensAndHasNothingPendingWithoutBlocking) {
  DeviceMonitor monitor;
  if (monitor.fd() < 0) {
    const std::string refusal = ueventSocketRefusal();
    if (!refusal.empty()) GTEST_SKIP() << "no device-event socket for this process: " << refusal;
    FAIL() << "the device-event socket can be opened here, but the monitor has no descriptor";
  }
  EXPECT_TRUE(isOpen(monitor.fd()));
  EXPECT_NE(fcntl(monitor.fd(), F_GETFL) & O_NONBLOCK, 0) << "a pending-less receive() would block the window";
  // A tty may come or go meanwhile; the events run out all the same.
  int received = 0;
  while (monitor.receive() && received < 1000) ++received;
  EXPECT_LT(received, 1000) << "receive() never reports that nothing is pending";
}

TEST(DeviceMonitor, ClosesItsDescriptorWhenDestroyed) {
  int fd = -1;
  {
    DeviceMonitor monitor;
    fd = monitor.fd();
    if (fd < 0) GTEST_SKIP() << "no monitor here (see the test above)";
    DeviceMonitor other;
    EXPECT_NE(other.fd(), fd) << "each monitor has its own socket";
  }
  EXPECT_FALSE(isOpen(fd));
}

}  // namespace
}  // namespace zorvik::ports
