// The termios serial port against a real pseudo-terminal: the port opens the
// slave, the test plays the logger on the master end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_port.h"

namespace zorvik::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

template <class F>
long long msTaken(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch directory for the non-terminal cases, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "serial_port_test.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    for (const auto& name : created_) ::unlink(name.c_str());
    if (!path_.empty()) ::rmdir(path_.c_str());
  }
  std::string file(const std::string& name) {
    created_.push_back(path_ + "/" + name);
    return created_.back();
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> created_;
};

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
      GTEST_SKIP() << "no pseudo-terminal available (posix_openpt: " << std::strerror(errno)
                   << "); these tests need /dev/ptmx and a devpts mount on /dev/pts "
                      "(in a container: mount -t devpts devpts /dev/pts, or run it with a tty)";
    }
    const char* name = nullptr;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || (name = ::ptsname(master_)) == nullptr) {
      GTEST_SKIP() << "pseudo-terminal slave not usable (" << std::strerror(errno)
                   << "); check the devpts mount on /dev/pts";
    }
    slavePath_ = name;
  }

  void TearDown() override { closeMaster(); }

  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  PortHandle openPort(std::int32_t baud = 9600) { return openSerialPort(slavePath_, baud); }

  // The name under /dev, as a port list would offer it ("pts/N").
  std::string bareName() const { return slavePath_.substr(std::strlen("/dev/")); }

  void sendFromLogger(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What reaches the logger end within timeoutMs, up to max bytes.
  Bytes receiveAtLogger(std::size_t max, int timeoutMs) {
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < max) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd pfd{master_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[512];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, max - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  // 1 when the slave's exclusive flag is set, 0 when not, -1 when unknown.
  int exclusiveFlag() const {
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY ? 1 : -1;  // not root: TIOCEXCL refuses us
    int flag = -1;
    if (::ioctl(fd, TIOCGEXCL, &flag) != 0) flag = -1;
    ::close(fd);
    return flag != 0 && flag != -1 ? 1 : flag;
  }

  int master_ = -1;
  std::string slavePath_;
};

// ---- Opening ----------------------------------------------------------------

TEST_F(SerialPortTest, OpenReplacesEveryEarlierLineSettingWithRaw8N1) {
  struct Case {
    std::int32_t baud;
    speed_t speed;
  };
  const Case cases[] = {{9600, B9600}, {300, B300}, {19200, B19200}, {115200, B115200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    // Leave the kind of settings behind that a terminal program would.
    termios dirty{};
    ASSERT_EQ(::tcgetattr(master_, &dirty), 0);
    dirty.c_cflag |= CRTSCTS | CSTOPB | HUPCL;
    dirty.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT;
    dirty.c_oflag |= OPOST | ONLCR;
    dirty.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    cfsetispeed(&dirty, B2400);
    cfsetospeed(&dirty, B2400);
    ASSERT_EQ(::tcsetattr(master_, TCSANOW, &dirty), 0);

    PortHandle port = openPort(c.baud);
    ASSERT_NE(port, nullptr);
    // On Linux the master reads and writes the slave's termios.
    termios tio{};
    ASSERT_EQ(::tcgetattr(master_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT), 0U);
    EXPECT_EQ(tio.c_oflag & OPOST, 0U);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0U);
    closeSerialPort(port);
  }
}

// Port lists offer bare names; a user may type a whole path.
TEST(DevicePath, BareNamesLiveUnderDevAndPathsStayAsTheyAre) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"pts/3", "/dev/pts/3"},
      {"/dev/ttyS1", "/dev/ttyS1"},
      {"/tmp/vport", "/tmp/vport"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(devicePath(c.name), c.path);
  }
}

TEST(SerialPortOpenTest, NonTerminalsGiveTheInvalidHandleAndAreNotWritten) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string regular = dir.file("regular");
  { std::ofstream(regular, std::ios::binary) << "original content\n"; }
  // An mtime in the past: any write would move it to now.
  const timespec past[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, regular.c_str(), past, 0), 0);
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int fifoReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fifoReader, 0);

  const std::string names[] = {
      "",                                  // empty name
      "/dev/zorvik-no-such-port",          // missing device
      "zorvik-no-such-port",               // missing bare name
      regular,                             // regular file
      dir.path(),                          // directory
      "/dev/null",                         // character device, no terminal
      fifo,                                // FIFO with a reader waiting
  };
  for (const std::string& name : names) {
    SCOPED_TRACE("port name \"" + name + "\"");
    PortHandle port = openSerialPort(name, 9600);
    EXPECT_EQ(port, nullptr);
  }

  EXPECT_EQ(readWholeFile(regular), "original content\n");
  struct stat st {};
  ASSERT_EQ(::stat(regular.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, past[1].tv_sec);
  std::uint8_t byte = 0;
  EXPECT_LE(::read(fifoReader, &byte, 1), 0) << "a byte was written into the FIFO";
  ::close(fifoReader);
}

// What a port that cannot be opened is said to be decides the explanation the
// user reads: a name that cannot be a device must not read as an adapter that
// went away.
TEST(SerialPortOpenTest, EachPortThatCannotBeOpenedSaysWhy) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string regular = dir.file("regular");
  { std::ofstream(regular, std::ios::binary) << "x"; }
  const std::string loop = dir.file("loop");
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  const struct {
    const char* what;
    std::string name;
    FailureKind kind;
  } cases[] = {
      {"missing device", "/dev/zorvik-no-such-port", FailureKind::NotFound},
      {"name longer than any path", "/dev/" + std::string(4000, 'x'), FailureKind::NotFound},
      {"link that points at itself", loop, FailureKind::NotFound},
      {"regular file", regular, FailureKind::NotATerminal},
      {"character device, no terminal", "/dev/null", FailureKind::NotATerminal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Failure failure;
    EXPECT_EQ(openSerialPort(c.name, 9600, failure), nullptr);
    EXPECT_EQ(failure.kind, c.kind) << failure.osText;
  }
}

TEST_F(SerialPortTest, HeldPortRefusesSecondOpenAndIsFreeAgainAfterClose) {
  PortHandle first = openPort();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(openPort(), nullptr);
  EXPECT_EQ(openSerialPort(bareName(), 9600), nullptr);
  EXPECT_EQ(exclusiveFlag(), 1);
  // The refused opens did not disturb the holder.
  std::size_t written = 0;
  const Bytes frame = {0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
  EXPECT_TRUE(first->write(frame.data(), frame.size(), written));
  EXPECT_EQ(receiveAtLogger(8, 1000), frame);

  EXPECT_TRUE(closeSerialPort(first));
  EXPECT_EQ(first, nullptr);
  EXPECT_FALSE(closeSerialPort(first));  // nothing left to close
  EXPECT_EQ(exclusiveFlag(), 0);

  // A bare name names the device under /dev.
  PortHandle again = openSerialPort(bareName(), 9600);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->close());
  EXPECT_TRUE(again->close());  // closing twice is harmless
}

TEST_F(SerialPortTest, AnotherProcessCannotOpenAHeldPort) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Exit code 0: refused as it must be; 1: it got the port.
    _exit(openSerialPort(slavePath_, 9600) == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a second process opened the held port";
  EXPECT_EQ(exclusiveFlag(), 1);
}

TEST_F(SerialPortTest, PortHeldByAnotherProgramIsRefusedAndLeftAlone) {
  struct Holder {
    const char* name;
    bool exclusive;  // TIOCEXCL, as many terminal programs do
    bool locked;     // advisory flock, as others do
  };
  const Holder holders[] = {{"TIOCEXCL only", true, false}, {"flock only", false, true}};
  for (const Holder& h : holders) {
    SCOPED_TRACE(h.name);
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    if (h.exclusive) {
      ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    }
    if (h.locked) {
      ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    }

    EXPECT_EQ(openPort(), nullptr);
    int flag = -1;
    ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag != 0, h.exclusive) << "the refused open changed the holder's exclusive flag";

    if (h.exclusive) ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    PortHandle port = openPort();
    EXPECT_NE(port, nullptr) << "the port should be free once the other program let go";
  }
}

TEST_F(SerialPortTest, FailedConfigurationLeavesThePortFree) {
  // An unsupported rate is refused by the line settings, after the port was
  // opened and taken exclusively.
  for (const std::int32_t baud : {0, -9600, 12345}) {
    SCOPED_TRACE(baud);
    EXPECT_EQ(openPort(baud), nullptr);
    EXPECT_EQ(exclusiveFlag(), 0);
    PortHandle port = openPort(9600);
    EXPECT_NE(port, nullptr);
  }
}

// ---- Reading ----------------------------------------------------------------

TEST_F(SerialPortTest, ReadWithNothingArrivingTimesOutWithZeroBytes) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  for (const std::size_t count : {std::size_t{8}, std::size_t{139}}) {
    SCOPED_TRACE(count);
    Bytes buffer(count);
    std::size_t received = 99;
    bool ok = false;
    const long long ms = msTaken([&] { ok = port->read(buffer.data(), count, received); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(received, 0U);
    // 200 ms + 1 ms per requested byte, generous for a loaded machine.
    const long long expected = 200 + static_cast<long long>(count);
    EXPECT_GE(ms, expected - 10);
    EXPECT_LE(ms, 600);
  }
}

TEST_F(SerialPortTest, ReadReturnsAsSoonAsTheBytesAreIn) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  const Bytes reply = {0x01, 0x00, 0x66, 0x01, 0x05, 0x02, 0x00, 0x5C};

  Bytes buffer(8);
  std::size_t received = 0;
  sendFromLogger(reply);
  long long ms = msTaken([&] { EXPECT_TRUE(port->read(buffer.data(), 8, received)); });
  EXPECT_EQ(received, 8U);
  EXPECT_EQ(buffer, reply);
  EXPECT_LT(ms, 100) << "the read waited although all bytes were there";

  // Arriving in two parts, the second well after the first.
  std::fill(buffer.begin(), buffer.end(), 0);
  std::thread logger([&] {
    sendFromLogger(Bytes(reply.begin(), reply.begin() + 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    sendFromLogger(Bytes(reply.begin() + 3, reply.end()));
  });
  ms = msTaken([&] { EXPECT_TRUE(port->read(buffer.data(), 8, received)); });
  logger.join();
  EXPECT_EQ(received, 8U);
  EXPECT_EQ(buffer, reply);
  EXPECT_LT(ms, 150);
}

TEST_F(SerialPortTest, PartialArrivalIsReturnedAtTheTimeout) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  const Bytes part = {0xC8, 0x00, 0x01, 0x02, 0x03};
  sendFromLogger(part);
  Bytes buffer(8, 0xEE);
  std::size_t received = 0;
  const long long ms = msTaken([&] { EXPECT_TRUE(port->read(buffer.data(), 8, received)); });
  ASSERT_EQ(received, part.size());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), part);
  EXPECT_GE(ms, 190);
  EXPECT_LE(ms, 600);
}

// ---- Writing and purging ------------------------------------------------------

TEST_F(SerialPortTest, AllByteValuesPassUnchangedBothWaysWithoutEcho) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  Bytes all(256);
  std::iota(all.begin(), all.end(), std::uint8_t{0});

  std::size_t written = 0;
  EXPECT_TRUE(port->write(all.data(), all.size(), written));
  EXPECT_EQ(written, all.size());
  EXPECT_EQ(receiveAtLogger(all.size(), 2000), all);
  EXPECT_TRUE(receiveAtLogger(1, 100).empty()) << "the port added bytes to what it wrote";

  sendFromLogger(all);
  Bytes buffer(all.size() + 1);
  std::size_t received = 0;
  EXPECT_TRUE(port->read(buffer.data(), buffer.size(), received));
  buffer.resize(received);
  EXPECT_EQ(buffer, all);
  EXPECT_TRUE(receiveAtLogger(1, 100).empty()) << "received bytes were echoed back";
}

TEST_F(SerialPortTest, PurgeRightAfterAWriteKeepsTheWholeFrame) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  // The bootloader entry frame is sent without a reply and followed by the
  // purge of the next exchange.
  const Bytes frame = {0x85, 0x03, 0xA5, 0x5A, 0x00, 0x00, 0x00, 0x25};
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::size_t written = 0;
    ASSERT_TRUE(port->clearErrors());
    ASSERT_TRUE(port->write(frame.data(), frame.size(), written));
    ASSERT_TRUE(port->purgeInput());
    EXPECT_EQ(written, frame.size());
    ASSERT_EQ(receiveAtLogger(frame.size(), 2000), frame);
  }
  EXPECT_TRUE(receiveAtLogger(1, 100).empty());
}

TEST_F(SerialPortTest, PurgeDiscardsUnreadInput) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  sendFromLogger({0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it reach the port
  ASSERT_TRUE(port->purgeInput());

  const Bytes fresh = {0x10, 0x20, 0x30};
  sendFromLogger(fresh);
  Bytes buffer(8);
  std::size_t received = 0;
  EXPECT_TRUE(port->read(buffer.data(), buffer.size(), received));
  buffer.resize(received);
  EXPECT_EQ(buffer, fresh);
}

// ---- Losing the device ----------------------------------------------------------

TEST_F(SerialPortTest, HangUpMakesReadAndWriteFail) {
  PortHandle port = openPort();
  ASSERT_NE(port, nullptr);
  closeMaster();  // the logger's USB interface went away

  Bytes buffer(8);
  std::size_t received = 0;
  EXPECT_FALSE(port->read(buffer.data(), buffer.size(), received));
  EXPECT_EQ(received, 0U);
  std::size_t written = 0;
  EXPECT_FALSE(port->write(buffer.data(), buffer.size(), written));
}

}  // namespace
}  // namespace zorvik::link
