// Which adapter a port belongs to: the by-id link found in a directory of
// links built in a temporary directory, and the system's answer for ports
// that have no adapter at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ports/adapter_identity.h"
#include "tests/ports/temp_dir.h"

namespace zorvik::ports {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) {
  std::ofstream out(path);
  ASSERT_TRUE(out.good()) << path;
}

// dev/ holds stand-ins for device nodes; by-id/ the links udev would make.
// Regular files instead of nodes: the lookup compares files, not node numbers,
// and the serial number (which needs a character device) stays empty.
class ByIdLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dev());
    fs::create_directories(byId());
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"}) touch(dev() / node);
    // udev writes relative links.
    fs::create_symlink("../dev/ttyUSB0", byId() / "usb-FTDI_Cable_A1-if00-port0");
    fs::create_symlink(fs::absolute(dev() / "ttyUSB1"), byId() / "usb-FTDI_Cable_B2-if00-port0");
    // Two links to one node (a local rule): natural order decides, not text order.
    fs::create_symlink("../dev/ttyUSB3", byId() / "usb-Hub_port10");
    fs::create_symlink("../dev/ttyUSB3", byId() / "usb-Hub_port9");
    // A link left behind by an unplugged adapter.
    fs::create_symlink("../dev/ttyUSB9", byId() / "usb-FTDI_Gone-if00-port0");
    // The same file under another name, but not a link: not one of udev's.
    fs::create_hard_link(dev() / "ttyUSB2", byId() / "hard-link-to-ttyUSB2");
  }

  fs::path dev() const { return dir_.path() / "dev"; }
  fs::path byId() const { return dir_.path() / "by-id"; }

  TempDir dir_;
};

TEST_F(ByIdLinks, NamesTheLinkThatLeadsToThePort) {
  struct Case {
    const char* name;
    fs::path devnode;
    std::string byIdName;
  };
  const Case cases[] = {
      {"a relative link", dev() / "ttyUSB0", "usb-FTDI_Cable_A1-if00-port0"},
      {"an absolute link", dev() / "ttyUSB1", "usb-FTDI_Cable_B2-if00-port0"},
      {"the port named through its link", byId() / "usb-FTDI_Cable_A1-if00-port0", "usb-FTDI_Cable_A1-if00-port0"},
      {"the port named by an untidy path", dev() / ".." / "dev" / "ttyUSB0", "usb-FTDI_Cable_A1-if00-port0"},
      {"two links: the first in natural order", dev() / "ttyUSB3", "usb-Hub_port9"},
      {"only a hard link, no symbolic one", dev() / "ttyUSB2", ""},
      {"a port that does not exist, whatever links to it", dev() / "ttyUSB9", ""},
      {"no port named", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AdapterIdentity identity = adapterIdentity(c.devnode.string(), byId());
    EXPECT_EQ(identity.byIdName, c.byIdName);
    EXPECT_EQ(identity.usbSerial, "");
  }
}

TEST_F(ByIdLinks, NoByIdDirectoryNamesNothing) {
  EXPECT_EQ(adapterIdentity((dev() / "ttyUSB0").string(), dir_.path() / "no-such-dir"), AdapterIdentity{});
}

TEST(SystemAdapterIdentity, PortsWithoutAUsbAdapterHaveNone) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0) << "no pseudo-terminal";
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string pty = ptsname(master);

  struct Case {
    const char* name;
    std::string devnode;
  };
  const Case cases[] = {
      {"a pseudo-terminal", pty},
      {"a character device that is no tty", "/dev/null"},
      {"a node that does not exist", "/dev/zorvik-no-such-port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(adapterIdentity(c.devnode), AdapterIdentity{});
  }
  close(master);
}

}  // namespace
}  // namespace zorvik::ports
