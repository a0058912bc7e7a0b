// The hint after a failed open: a port the user may not use names the fix;
// a missing or usable port gives no hint.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "link/serial_port.h"

namespace zorvik {
namespace {

class PortHint : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
    }
    path_ = ::ptsname(master_);
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
  }
  int master_ = -1;
  std::string path_;
};

TEST_F(PortHint, NoHintForAMissingOrUsablePort) {
  EXPECT_EQ(openFailureHint("/dev/zorvik-no-such-port"), "");
  EXPECT_EQ(openFailureHint(""), "");
  EXPECT_EQ(openFailureHint(path_), "");
}

// Run as a user without access: root reads any device, so the check drops to
// "nobody" in a child process; others lose access by the mode bits.
TEST_F(PortHint, PortWithoutPermissionNamesTheFix) {
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool dropped = ::getuid() == 0 ? ::setgid(65534) == 0 && ::setuid(65534) == 0
                                          : ::chmod(path_.c_str(), 0) == 0;
    if (!dropped) ::_exit(3);
    const std::string hint = openFailureHint(path_);
    const bool names = hint.find("No permission to use " + path_) == 0 && hint.find("udev rule") != std::string::npos;
    PortHandle port = openSerialPort(path_, 9600);
    ::_exit(names && port == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zorvik
