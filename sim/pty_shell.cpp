#include "sim/pty_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
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

struct PtyShell::Impl {
  struct ScheduledByte {
    SimClock::time_point at;
    char byte;
  };

  Impl(Receive receiveFn, SimClock::duration characterTime)
      : receive(std::move(receiveFn)), charTime(characterTime) {}
  ~Impl() { shutDown(); }

  bool open();
  void shutDown();
  void run();
  std::optional<SimClock::time_point> nextDue() const;
  void readHost();
  void schedule(const ShellAnswer& answer);
  void hangUp(SimClock::time_point at);
  void writeDue(SimClock::time_point upTo);

  const Receive receive;
  const SimClock::duration charTime;
  mutable std::mutex mutex;
  std::uint64_t received = 0;  // guarded by mutex
  std::uint64_t sent = 0;      // guarded by mutex
  std::string path;            // set before the thread starts

  // Server thread only, once it runs.
  int master = -1;
  int slaveKeeper = -1;
  int wake = -1;
  std::deque<ScheduledByte> outgoing;  // in order of time
  std::optional<SimClock::time_point> hangUpAt;
  std::thread thread;
  std::atomic<bool> stopping{false};
};

bool PtyShell::Impl::open() {
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

void PtyShell::Impl::shutDown() {
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

std::optional<SimClock::time_point> PtyShell::Impl::nextDue() const {
  std::optional<SimClock::time_point> due;
  if (!outgoing.empty()) due = outgoing.front().at;
  if (hangUpAt && (!due || *hangUpAt < *due)) due = hangUpAt;
  return due;
}

void PtyShell::Impl::run() {
  // Characters are due about a millisecond apart; the default timer slack
  // (50 us) would make each wake-up late by that much.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  while (!stopping) {
    std::array<pollfd, 2> fds{pollfd{wake, POLLIN, 0}, pollfd{master, POLLIN, 0}};
    const nfds_t count = master >= 0 ? 2 : 1;
    const std::optional<SimClock::time_point> due = nextDue();
    timespec timeout{};
    if (due) timeout = untilTime(*due);
    const int ready = ::ppoll(fds.data(), count, due ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (count == 2 && (fds[1].revents & POLLIN) != 0) {
      readHost();
    } else if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR)) != 0) {
      // Not expected while slaveKeeper is open; avoid spinning if it happens.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto now = SimClock::now();
    if (hangUpAt && *hangUpAt <= now) hangUp(*hangUpAt);
    writeDue(now);
  }
}

void PtyShell::Impl::readHost() {
  std::array<char, 4096> buffer{};
  const auto n = ::read(master, buffer.data(), buffer.size());
  if (n <= 0) return;
  {
    std::lock_guard lock(mutex);
    received += static_cast<std::uint64_t>(n);
  }
  schedule(receive(std::string_view(buffer.data(), static_cast<std::size_t>(n)), SimClock::now()));
}

void PtyShell::Impl::schedule(const ShellAnswer& answer) {
  for (const auto& reply : answer.replies) {
    auto at = reply.start;
    for (const char c : reply.bytes) {
      at += charTime;
      // After everything due no later: answers given out of order still
      // leave in order of time, and equal times in the order given.
      const auto place = std::upper_bound(outgoing.begin(), outgoing.end(), at,
                                          [](SimClock::time_point t, const ScheduledByte& s) { return t < s.at; });
      outgoing.insert(place, ScheduledByte{at, c});
    }
  }
  if (answer.hangUpAt && (!hangUpAt || *answer.hangUpAt < *hangUpAt)) hangUpAt = answer.hangUpAt;
  if (hangUpAt == kHangUpNow) hangUp(kHangUpNow);
}

void PtyShell::Impl::hangUp(SimClock::time_point at) {
  writeDue(at);
  outgoing.clear();
  hangUpAt.reset();
  closeFd(master);
}

void PtyShell::Impl::writeDue(SimClock::time_point upTo) {
  if (master < 0) return;
  std::string due;
  while (!outgoing.empty() && outgoing.front().at <= upTo) {
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

PtyShell::PtyShell(Receive receive, SimClock::duration charTime)
    : impl_(std::make_unique<Impl>(std::move(receive), charTime)) {}

PtyShell::~PtyShell() { stop(); }

bool PtyShell::start() {
  if (impl_->thread.joinable()) return true;
  if (impl_->stopping || !impl_->open()) {
    impl_->shutDown();
    return false;
  }
  impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
  return true;
}

void PtyShell::stop() { impl_->shutDown(); }

std::string PtyShell::devicePath() const { return impl_->path; }

std::uint64_t PtyShell::bytesReceived() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

std::uint64_t PtyShell::bytesSent() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->sent;
}

}  // namespace zorvik::sim
