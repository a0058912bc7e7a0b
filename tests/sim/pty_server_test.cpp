// The simulator behind a real pseudo-terminal: what a host writes to the
// device path is answered there, the line survives the host closing and
// reopening it, wire timing paces the answer, and a hang-up kills the line.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/sim/sim_test_helpers.h"

namespace zorvik::sim::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The host's end of the line, opened raw like a serial port.
class HostEnd {
 public:
  explicit HostEnd(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~HostEnd() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void write(const std::string& s) { ASSERT_EQ(::write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }

  // Reads until `count` bytes arrived or `timeout` passed; `eof` tells whether
  // the line reported end of file or an error.
  std::string read(std::size_t count, std::chrono::milliseconds timeout, bool* eof = nullptr) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[512];
      const auto n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) {
        if (eof) *eof = true;
        break;
      }
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

TEST(PtyServer, AnswersOnTheDevicePathAndCountsBytes) {
  SimulatedLogger logger;
  ASSERT_TRUE(logger.start());
  ASSERT_EQ(logger.devicePath().rfind("/dev/pts/", 0), 0u) << logger.devicePath();
  HostEnd host(logger.devicePath());
  ASSERT_TRUE(host.ok());
  host.write(kNullFrame + kIdentityQuery);
  const std::string answer = host.read(8, 1s);
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_EQ(answer.substr(2, 4), bytes({0x66, 0x01, 0x06, 0x1A}));
  EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), referenceCrc8(answer, 7));
  EXPECT_EQ(logger.requests(), (std::vector<Request>{Request::NullFrame, Request::IdentityQuery}));
  EXPECT_EQ(logger.bytesReceived(), 16u);
  EXPECT_EQ(logger.bytesSent(), 8u);
}

TEST(PtyServer, SurvivesTheHostClosingAndReopening) {
  LoggerConfig config;
  config.startInBootloader = true;
  SimulatedLogger logger(config);
  ASSERT_TRUE(logger.start());
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    HostEnd host(logger.devicePath());
    ASSERT_TRUE(host.ok());
    host.write(kInfoRequest);
    EXPECT_EQ(host.read(23, 1s), ":06000000001800350102AA");
  }
  EXPECT_NE(logger.mode(), Mode::Dead);
}

TEST(PtyServer, ProgrammingThroughTheLine) {
  LoggerConfig config;
  config.startInBootloader = true;
  SimulatedLogger logger(config);
  ASSERT_TRUE(logger.start());
  HostEnd host(logger.devicePath());
  host.write(kStartRecord);
  EXPECT_EQ(host.read(13, 1s).size(), 13u);
  EXPECT_TRUE(logger.programmingOpen());
  const std::string line = dataLine(0x0400, 9);
  host.write(line);
  EXPECT_EQ(host.read(139, 1s), line);
  host.write(kEndRecord);
  EXPECT_EQ(host.read(1, 200ms), "");
  EXPECT_EQ(logger.restarts(), 1);
  EXPECT_EQ(logger.mode(), Mode::Application);
  ASSERT_EQ(logger.flashWrites().size(), 1u);
  EXPECT_EQ(logger.flash().at(0x0400), line);
}

// Generous behaviour check: 13 characters in and 139 out are 152 character
// times, about 158 ms at 9600 baud, and a tenth of that at clock scale 10.
TEST(PtyServer, WireTimingPacesTheAnswer) {
  struct Case {
    double scale;
    std::chrono::milliseconds atLeast;
    std::chrono::milliseconds below;
  };
  for (const Case& c : {Case{1.0, 145ms, 400ms}, Case{10.0, 14ms, 60ms}}) {
    SCOPED_TRACE(c.scale);
    LoggerConfig config;
    config.startInBootloader = true;
    config.wireTiming = true;
    config.clockScale = c.scale;
    SimulatedLogger logger(config);
    ASSERT_TRUE(logger.start());
    HostEnd host(logger.devicePath());
    const auto begin = Clock::now();
    host.write(":01006005306A");
    const std::string answer = host.read(139, 2s);
    const auto took = Clock::now() - begin;
    EXPECT_EQ(answer.size(), 139u);
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, c.below);
  }
}

TEST(PtyServer, HangUpEndsTheLine) {
  SimulatedLogger logger;
  ASSERT_TRUE(logger.start());
  logger.injectFault({FaultKind::HangUp, Request::IdentityQuery});
  HostEnd host(logger.devicePath());
  host.write(kIdentityQuery);
  bool eof = false;
  EXPECT_EQ(host.read(8, 1s, &eof), "");
  EXPECT_TRUE(eof) << "the host sees the line die instead of a mere timeout";
  EXPECT_EQ(logger.mode(), Mode::Dead);
}

std::size_t openDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST(PtyServer, StopReleasesTheLineAndEveryDescriptor) {
  const std::size_t before = openDescriptors();
  std::string path;
  {
    SimulatedLogger logger;
    ASSERT_TRUE(logger.start());
    path = logger.devicePath();
    HostEnd host(path);
    host.write(kIdentityQuery);
    EXPECT_EQ(host.read(8, 1s).size(), 8u);
    logger.stop();
    logger.stop();
  }
  {
    SimulatedLogger hungUp;  // the master closes early, on the hang-up
    hungUp.injectFault({FaultKind::HangUp, Request::IdentityQuery});
    ASSERT_TRUE(hungUp.start());
    HostEnd host(hungUp.devicePath());
    host.write(kIdentityQuery);
    host.read(8, 1s);
  }
  EXPECT_EQ(openDescriptors(), before);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  EXPECT_LT(fd, 0) << "the pseudo-terminal is gone";
  if (fd >= 0) ::close(fd);
}

}  // namespace
}  // namespace zorvik::sim::testing
