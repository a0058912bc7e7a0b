// termios backend of the serial port. The descriptor is non-blocking and every
// wait is a poll() against a steady-clock deadline, so the Win32-style
// timeouts of the link hold without VMIN/VTIME tricks and a read returns as
// soon as the requested bytes are in.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <chrono>
#include <thread>

#include "link/arrival_pace.h"
#include "link/port_timing.h"
#include "link/serial_port.h"

namespace zorvik::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bound of the wait for the output queue to empty after a write.
constexpr int kDrainPerByteMs = 2;
constexpr int kDrainConstantMs = 50;
// A timeout in milliseconds never needs more than this (about 12 days).
constexpr std::size_t kMaxTimeoutBytes = 1'000'000'000;

bool speedFor(std::int32_t baudRate, speed_t& speed) {
  struct Rate {
    std::int32_t baud;
    speed_t speed;
  };
  static constexpr Rate kRates[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
      {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
#ifdef B57600
      {57600, B57600},
#endif
#ifdef B115200
      {115200, B115200},
#endif
#ifdef B230400
      {230400, B230400},
#endif
#ifdef B460800
      {460800, B460800},
#endif
#ifdef B921600
      {921600, B921600},
#endif
  };
  for (const Rate& rate : kRates) {
    if (rate.baud == baudRate) {
      speed = rate.speed;
      return true;
    }
  }
  return false;
}

int remainingMs(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Round up so that a poll never returns just before the deadline.
  return static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
}

Clock::time_point deadlineAfter(std::size_t count, int perByteMs, int constantMs) {
  const auto bytes = static_cast<long long>(count < kMaxTimeoutBytes ? count : kMaxTimeoutBytes);
  return Clock::now() + milliseconds(constantMs + bytes * perByteMs);
}

// Waits for `events`; false on a poll failure or a hang-up without them.
// `ready` is false when the deadline passed first.
bool waitFor(int fd, short events, Clock::time_point deadline, bool& ready) {
  for (;;) {
    pollfd pfd{fd, events, 0};
    const int n = ::poll(&pfd, 1, remainingMs(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    ready = n > 0 && (pfd.revents & events) != 0;
    if (n > 0 && !ready) return false;  // POLLHUP, POLLERR or POLLNVAL alone
    return true;
  }
}

// A device without modem-control lines (a pseudo-terminal, some adapters)
// has no DTR or RTS to set; that is not a failure of the open.
bool setModemLine(int fd, unsigned long request, int line) {
  if (::ioctl(fd, request, &line) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { close(); }

  // Set only once the advisory lock is ours (see openSerialPort).
  void markExclusive() { exclusive_ = true; }
  void setBaudRate(std::int32_t baudRate) {
    baudRate_ = baudRate;
    charMicros_ = charMicros(baudRate);
  }

  bool clearErrors() override {
    // termios keeps no sticky error state that blocks I/O the way a Win32
    // comm error does; what matters is that the descriptor is still usable.
    return fd_ >= 0 && ::fcntl(fd_, F_GETFL) != -1;
  }

  bool purgeInput() override {
    // Input only. Writes are drained, so there is never output to discard,
    // and flushing the output side would cut a frame still on its way (on a
    // pseudo-terminal it even discards what the other end has not read yet).
    return fd_ >= 0 && ::tcflush(fd_, TCIFLUSH) == 0;
  }

  bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    written = 0;
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + writeTimeout(count, baudRate_);
    while (written < count) {
      const ssize_t n = ::write(fd_, data + written, count - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      bool ready = false;
      if (!waitFor(fd_, POLLOUT, deadline, ready)) return false;
      if (!ready) break;  // write timeout: a short count, not a failure
    }
    drain(written);
    return true;
  }

  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    received = 0;
    if (fd_ < 0) return false;
    const auto deadline = deadlineAfter(count, kReadTimeoutPerByteMs, kReadTimeoutConstantMs);
    ArrivalPace pace{std::chrono::microseconds(charMicros_)};
    while (received < count) {
      const ssize_t n = ::read(fd_, data + received, count - received);
      if (n > 0) {
        received += static_cast<std::size_t>(n);
        pace.observe(Clock::now(), received);
        continue;
      }
      if (n == 0) return false;  // end of file on a terminal: hung up
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (const auto restAt = pace.restReadyAt(count - received)) {
        std::this_thread::sleep_until(*restAt < deadline ? *restAt : deadline);
      }
      bool ready = false;
      if (!waitFor(fd_, POLLIN, deadline, ready)) return false;
      if (!ready) break;  // read timeout: whatever arrived, possibly nothing
    }
    return true;
  }

  bool close() override {
    if (fd_ < 0) return true;
    if (exclusive_) ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    const int result = ::close(fd_);
    fd_ = -1;
    exclusive_ = false;
    return result == 0;
  }

 private:
  // Returns once the bytes have left the computer. Why: the bootloader entry
  // frame is sent without waiting for an answer, and the next exchange purges
  // the port a moment later while those 8 bytes need 8.3 ms at 9600 baud; a
  // purge that cut the frame would leave the logger in its application.
  // tcdrain() is not used because it can block for ever on a stuck line; if
  // the bound passes, the bytes are still committed to the driver.
  void drain(std::size_t written) const {
    const auto deadline = deadlineAfter(written, kDrainPerByteMs, kDrainConstantMs);
    for (;;) {
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
      if (Clock::now() >= deadline) return;
      // Sleep about as long as the queue needs, but look again at least
      // every millisecond so the caller is not held longer than necessary.
      const long long wait = queued * charMicros_;
      std::this_thread::sleep_for(std::chrono::microseconds(wait < 1000 ? wait : 1000));
    }
  }

  int fd_;
  bool exclusive_ = false;
  std::int32_t baudRate_ = 9600;
  long long charMicros_ = charMicros(9600);
};

// A complete raw 8N1 setting without flow control, built from nothing so that
// no earlier user of the port leaves a flag behind.
bool applyLineSettings(int fd, std::int32_t baudRate) {
  speed_t speed{};
  if (!speedFor(baudRate, speed)) return false;
  termios tio{};
  tio.c_cflag = CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return false;
  // tcsetattr succeeds when any part was applied; check what the driver took.
  termios applied{};
  if (::tcgetattr(fd, &applied) != 0) return false;
  return ::cfgetospeed(&applied) == speed && (applied.c_cflag & CSIZE) == CS8 &&
         (applied.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
         (applied.c_iflag & (IXON | IXOFF | IXANY)) == 0;
}

// Someone who holds the port with TIOCEXCL but without the advisory lock
// (another program) stops other users, but not root: look for it ourselves.
bool heldExclusivelyByOther(int fd) {
#ifdef TIOCGEXCL
  int exclusive = 0;
  return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
  (void)fd;
  return false;
#endif
}

Failure failed(FailureKind kind, int osError) {
  // The category's message, unlike strerror, is safe while other runs fail too.
  return {kind, osError, osError != 0 ? std::generic_category().message(osError) : std::string()};
}

FailureKind openFailureKind(int error) {
  switch (error) {
    // A name too long or looping cannot name a device either.
    case ENOENT: case ENODEV: case ENXIO: case ENOTDIR: case ENAMETOOLONG: case ELOOP: return FailureKind::NotFound;
    case EACCES: case EPERM: return FailureKind::NoPermission;
    case EBUSY: return FailureKind::Busy;
    default: return FailureKind::PortIo;
  }
}

// Opens the device only if it is a character device and then a terminal:
// anything else is never configured nor written.
int openTerminal(const std::string& path, Failure& failure) {
  struct stat st {};
  if (path.empty()) {
    failure = failed(FailureKind::NotFound, 0);
    return -1;
  }
  if (::stat(path.c_str(), &st) != 0) {
    failure = failed(openFailureKind(errno), errno);
    return -1;
  }
  if (!S_ISCHR(st.st_mode)) {
    failure = failed(FailureKind::NotATerminal, 0);
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure = failed(openFailureKind(errno), errno);
    return -1;
  }
  termios probe{};
  if (!::isatty(fd) || ::tcgetattr(fd, &probe) != 0) {
    failure = failed(FailureKind::NotATerminal, errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string devicePath(const std::string& portName) {
  if (portName.empty() || portName.front() == '/') return portName;
  return "/dev/" + portName;
}

PortHandle openSerialPort(const std::string& portName, std::int32_t baudRate, Failure& failure) {
  failure = {};
  const int fd = openTerminal(devicePath(portName), failure);
  if (fd < 0) return nullptr;
  auto port = std::make_unique<PosixSerialPort>(fd);
  // The lock comes first: TIOCEXCL is one flag per device, so clearing it on
  // a failure path is only safe once no other holder can exist.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || heldExclusivelyByOther(fd)) {
    failure = failed(FailureKind::Busy, EBUSY);
    return nullptr;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    failure = failed(FailureKind::Busy, errno);
    return nullptr;
  }
  port->markExclusive();
  if (!applyLineSettings(fd, baudRate)) {
    failure = failed(FailureKind::SettingsRefused, errno);
    return nullptr;
  }
  port->setBaudRate(baudRate);  // known valid here
  // termios has no driver queue sizes to set; the kernel's buffers exceed the
  // 1000 bytes the link ever has in flight.
  if (!setModemLine(fd, TIOCMBIC, TIOCM_RTS) || !setModemLine(fd, TIOCMBIS, TIOCM_DTR)) {  // DTR last
    failure = failed(FailureKind::SettingsRefused, errno);
    return nullptr;
  }
  return port;
}

}  // namespace zorvik::link
