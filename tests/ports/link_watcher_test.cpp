// The folder of port links as udev keeps it: links come and go, the folder
// itself appears with the first adapter and goes with the last one, and a
// link can be replaced between two looks.
#include "ports/link_watcher.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <fstream>

#include "tests/ports/temp_dir.h"

namespace zorvik::ports {
namespace {

namespace fs = std::filesystem;
using Kind = LinkChange::Kind;

// True when the watcher's descriptor tells of a change within the limit; the
// watcher sleeps in between, so nothing else could wake it.
bool signalled(const LinkWatcher& watcher, int limitMs = 5000) {
  pollfd fd{watcher.fd(), POLLIN, 0};
  return ::poll(&fd, 1, limitMs) == 1;
}

class LinkWatcherTest : public ::testing::Test {
 protected:
  void link(const std::string& name) { fs::create_symlink("/dev/null", byId() / name); }
  fs::path byId() const { return temp.path() / "serial" / "by-id"; }
  TempDir temp;
};

TEST_F(LinkWatcherTest, ReportsLinksAsTheyComeAndGo) {
  fs::create_directories(byId());
  link("usb-FTDI_A-if00-port0");
  LinkWatcher watcher(byId());
  ASSERT_GE(watcher.fd(), 0);
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Appeared, "usb-FTDI_A-if00-port0"}}))
      << "the links there already";
  EXPECT_TRUE(watcher.changes().empty());

  link("usb-FTDI_B-if00-port0");
  std::ofstream(byId() / "not-a-link") << "x";
  ASSERT_TRUE(signalled(watcher));
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Appeared, "usb-FTDI_B-if00-port0"}}));

  fs::remove(byId() / "usb-FTDI_A-if00-port0");
  ASSERT_TRUE(signalled(watcher));
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Vanished, "usb-FTDI_A-if00-port0"}}));
}

TEST_F(LinkWatcherTest, ALinkReplacedBetweenTwoLooksIsANewOne) {
  fs::create_directories(byId());
  link("unit");
  LinkWatcher watcher(byId());
  watcher.changes();
  fs::remove(byId() / "unit");
  link("unit");
  ASSERT_TRUE(signalled(watcher));
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Vanished, "unit"}, {Kind::Appeared, "unit"}}));
}

TEST_F(LinkWatcherTest, FollowsTheFolderAppearingWithTheFirstAdapterAndGoingWithTheLast) {
  LinkWatcher watcher(byId());  // neither serial/ nor by-id/ exists yet
  ASSERT_GE(watcher.fd(), 0);
  EXPECT_TRUE(watcher.changes().empty());
  // udev makes the folders, then the link; each step wakes the watcher,
  // which moves its watch down until it reaches the folder.
  fs::create_directories(byId());
  link("usb-FTDI_A-if00-port0");
  std::vector<LinkChange> seen;
  for (int i = 0; i < 5 && seen.empty(); ++i) {
    if (signalled(watcher, 1000)) seen = watcher.changes();
  }
  EXPECT_EQ(seen, (std::vector<LinkChange>{{Kind::Appeared, "usb-FTDI_A-if00-port0"}}));

  fs::remove_all(temp.path() / "serial");
  ASSERT_TRUE(signalled(watcher));
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Vanished, "usb-FTDI_A-if00-port0"}}));
  fs::create_directories(byId());
  link("usb-FTDI_B-if00-port0");
  seen.clear();
  for (int i = 0; i < 5 && seen.empty(); ++i) {
    if (signalled(watcher, 1000)) seen = watcher.changes();
  }
  EXPECT_EQ(seen, (std::vector<LinkChange>{{Kind::Appeared, "usb-FTDI_B-if00-port0"}}));
}

// Once the changes are read, the descriptor stays quiet until the next
// change: a watcher that woke itself would keep an idle station busy, and
// moving its watches each time would lose a replug that came in between.
TEST_F(LinkWatcherTest, ReadingTheChangesLeavesNothingToWakeFor) {
  LinkWatcher watcher(byId());
  const auto quiet = [&] { return !signalled(watcher, 0); };
  watcher.changes();
  EXPECT_TRUE(quiet()) << "folder missing";
  fs::create_directories(byId());
  for (int i = 0; i < 5 && signalled(watcher, 1000); ++i) watcher.changes();
  EXPECT_TRUE(quiet()) << "folder there";
  link("unit");
  ASSERT_TRUE(signalled(watcher));
  EXPECT_EQ(watcher.changes(), (std::vector<LinkChange>{{Kind::Appeared, "unit"}}));
  EXPECT_TRUE(quiet()) << "after a link came";
  for (int replug = 0; replug < 20; ++replug) {
    SCOPED_TRACE(replug);
    fs::remove(byId() / "unit");
    link("unit");
    ASSERT_TRUE(signalled(watcher));
    std::vector<LinkChange> seen = watcher.changes();
    // The two events may be read at two looks.
    if (seen.size() == 1 && signalled(watcher, 1000)) {
      const auto more = watcher.changes();
      seen.insert(seen.end(), more.begin(), more.end());
    }
    EXPECT_EQ(seen, (std::vector<LinkChange>{{Kind::Vanished, "unit"}, {Kind::Appeared, "unit"}}));
    EXPECT_TRUE(quiet());
  }
}

TEST(SerialFromByIdName, TakesTheSerialBeforeTheInterface) {
  const struct {
    const char* name;
    const char* serial;
  } cases[] = {
      {"usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0", "A12BC3D4"},
      {"usb-FTDI_TTL232R-3V3_FT9XYZ01-if00-port0", "FT9XYZ01"},
      {"usb-FTDI_Dual_RS232-HS_FT2ABC-if01-port0", "FT2ABC"},
      {"usb-Vendor_Model_S1-if00", "S1"},
      {"pci-0000:00:14.0-usb-0:2:1.0-port0", ""},
      {"usb-NoUnderscore-if00-port0", ""},
      {"usb-FTDI_Model_-if00-port0", ""},
      {"unitA", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(serialFromByIdName(c.name), c.serial) << c.name;
}

}  // namespace
}  // namespace zorvik::ports
