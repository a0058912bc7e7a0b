// The pty server: one thread waits on the pseudo-terminal's master side, feeds
// what the host wrote into the protocol model and writes the model's answers
// back, each character at its scheduled time.
#include "simulated_logger.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "logger_model.h"

namespace zorvik::sim {
namespace {

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

timespec untilTime(SimClock::time_point at) {
  const auto left = std::max(at - SimClock::now(), SimClock::duration::zero());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

struct SimulatedLogger::Impl {
  struct ScheduledByte {
    SimClock::time_point at;
    char byte;
  };

  explicit Impl(const LoggerConfig& config) : model(config) {}
  ~Impl() { shutDown(); }

  bool open();
  void shutDown();
  void run();
  void readHost();
  void schedule(const ModelOutput& out);
  void writeDue();

  mutable std::mutex mutex;
  LoggerModel model;        // guarded by mutex
  std::uint64_t received = 0;  // guarded by mutex
  std::uint64_t sent = 0;      // guarded by mutex
  std::string path;            // set before the thread starts

  // Server thread only, once it runs.
  int master = -1;
  int slaveKeeper = -1;
  int wake = -1;
  std::deque<ScheduledByte> outgoing;
  std::thread thread;
  std::atomic<bool> stopping{false};
};

bool SimulatedLogger::Impl::open() {
  // Non-blocking: a host that never reads must not stall the server (or the
  // observers waiting for its mutex) once the line's buffer is full.
  master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
  std::array<char, 128> name{};
  if (::ptsname_r(master, name.data(), name.size()) != 0) return false;
  path = name.data();
  // Held from before the host's first open: the host's exclusive lock does not
  // shut it out, and the master never sees a hang-up when the host closes its
  // end between runs.
  slaveKeeper = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeeper < 0) return false;
  termios tio{};
  if (::tcgetattr(slaveKeeper, &tio) != 0) return false;
  ::cfmakeraw(&tio);  // no echo, no translation of the binary frames
  ::cfsetspeed(&tio, B9600);
  if (::tcsetattr(slaveKeeper, TCSANOW, &tio) != 0) return false;
  wake = ::eventfd(0, EFD_CLOEXEC);
  return wake >= 0;
}

void SimulatedLogger::Impl::shutDown() {
  if (thread.joinable()) {
    stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wake, &one, sizeof one);
    thread.join();
  }
  closeFd(master);
  closeFd(slaveKeeper);
  closeFd(wake);
}

void SimulatedLogger::Impl::run() {
  // Characters are due about a millisecond apart; the default timer slack
  // (50 us) would make each wake-up late by that much.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  while (!stopping) {
    std::array<pollfd, 2> fds{pollfd{wake, POLLIN, 0}, pollfd{master, POLLIN, 0}};
    const nfds_t count = master >= 0 ? 2 : 1;
    timespec timeout{};
    if (!outgoing.empty()) timeout = untilTime(outgoing.front().at);
    const int ready = ::ppoll(fds.data(), count, outgoing.empty() ? nullptr : &timeout, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (count == 2 && (fds[1].revents & POLLIN) != 0) {
      readHost();
    } else if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR)) != 0) {
      // Not expected while slaveKeeper is open; avoid spinning if it happens.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    writeDue();
  }
}

void SimulatedLogger::Impl::readHost() {
  std::array<char, 4096> buffer{};
  const auto n = ::read(master, buffer.data(), buffer.size());
  if (n <= 0) return;
  const auto now = SimClock::now();
  ModelOutput out;
  {
    std::lock_guard lock(mutex);
    received += static_cast<std::uint64_t>(n);
    out = model.receive(std::string_view(buffer.data(), static_cast<std::size_t>(n)), now);
  }
  schedule(out);
}

void SimulatedLogger::Impl::schedule(const ModelOutput& out) {
  if (out.hangUp) {
    outgoing.clear();
    closeFd(master);
    return;
  }
  const auto charTime = model.charTime();  // constant after construction
  for (const auto& reply : out.replies) {
    // A character can be read once its stop bit is through.
    auto at = reply.start;
    for (const char c : reply.bytes) {
      at += charTime;
      outgoing.push_back({at, c});
    }
  }
}

void SimulatedLogger::Impl::writeDue() {
  if (master < 0) return;
  const auto now = SimClock::now();
  std::string due;
  while (!outgoing.empty() && outgoing.front().at <= now) {
    due.push_back(outgoing.front().byte);
    outgoing.pop_front();
  }
  if (due.empty()) return;
  // Counted under the lock held across the write, so that a host that has
  // read an answer never sees it missing from bytesSent().
  std::lock_guard lock(mutex);
  std::size_t done = 0;
  while (done < due.size()) {
    const auto n = ::write(master, due.data() + done, due.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // buffer full: the unread line overflows, as a UART's would
    done += static_cast<std::size_t>(n);
  }
  sent += done;
}

SimulatedLogger::SimulatedLogger(LoggerConfig config) : impl_(std::make_unique<Impl>(config)) {}

SimulatedLogger::~SimulatedLogger() { stop(); }

bool SimulatedLogger::start() {
  if (impl_->thread.joinable()) return true;
  if (impl_->stopping || !impl_->open()) {
    impl_->shutDown();
    return false;
  }
  impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
  return true;
}

void SimulatedLogger::stop() { impl_->shutDown(); }

std::string SimulatedLogger::devicePath() const { return impl_->path; }

void SimulatedLogger::injectFault(const Fault& fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->model.injectFault(fault);
}

Mode SimulatedLogger::mode() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.mode(SimClock::now());
}

std::vector<Request> SimulatedLogger::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.requests();
}

std::vector<FlashWrite> SimulatedLogger::flashWrites() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.flashWrites();
}

std::map<std::uint16_t, std::string> SimulatedLogger::flash() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.flash();
}

bool SimulatedLogger::programmingOpen() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.programmingOpen();
}

int SimulatedLogger::restarts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.restarts();
}

std::uint64_t SimulatedLogger::bytesReceived() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

std::uint64_t SimulatedLogger::bytesSent() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->sent;
}

LineFaultCounts SimulatedLogger::lineFaultCounts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.lineFaultCounts();
}

std::uint16_t SimulatedLogger::applicationClass() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.applicationClass();
}

}  // namespace zorvik::sim
