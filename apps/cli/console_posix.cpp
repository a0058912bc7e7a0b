#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "apps/cli/console.h"

namespace zorvik::cli {
namespace {

std::atomic<int> interrupts{0};
std::atomic<long long> firstInterruptMs{0};
// Set once at start-up, before the handler can run.
std::atomic<std::atomic<bool>*> cancelFlag{nullptr};
// A pipe whose read end becomes readable on the first interrupt, for a loop
// that waits on descriptors (the station) rather than on a run.
std::atomic<int> wakeWrite{-1};
std::atomic<int> wakeRead{-1};

// The signals that cancel. SIGTERM and SIGHUP come from tools and sessions
// (timeout, systemd, a closed terminal window), often twice: to the process
// and to its group.
constexpr int kCancellingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A person who presses Ctrl-C again after this long has seen the first one
// do too little; a second signal sooner is the same request twice.
constexpr long long kQuitAfterMs = 1000;
// The descriptors looked at when quitting at once; the serial ports are
// opened long after start-up, so far below this.
constexpr int kLastDescriptor = 1023;

long long monotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Only the terminal's own Ctrl-C (sent by the kernel, not by kill()) from a
// person, some time after the first signal, may skip the clean end.
bool isLaterKeyboardInterrupt(int signal, const siginfo_t* info) {
  return signal == SIGINT && info != nullptr && info->si_code == SI_KERNEL &&
         monotonicMs() - firstInterruptMs.load() >= kQuitAfterMs;
}

// The exclusive flag (TIOCEXCL) belongs to the device, not to the descriptor:
// where another process keeps the port open (a pseudo-terminal's server) it
// would outlive us and refuse every later update. The advisory lock goes
// with the process by itself. The standard streams are left alone; every
// other terminal this program has open is a serial port it set exclusive.
void releaseExclusivePorts() {
  for (int fd = STDERR_FILENO + 1; fd <= kLastDescriptor; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 || ::isatty(fd) == 0) continue;
    ::ioctl(fd, TIOCNXCL);
  }
}

extern "C" void onSignal(int signal, siginfo_t* info, void*) {
  const int savedErrno = errno;
  if (interrupts.fetch_add(1) == 0) {
    firstInterruptMs = monotonicMs();
    if (std::atomic<bool>* flag = cancelFlag.load()) flag->store(true);
    if (const int fd = wakeWrite.load(); fd >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);  // async-signal-safe
    }
  } else if (isLaterKeyboardInterrupt(signal, info)) {
    releaseExclusivePorts();
    _exit(130);
  }
  errno = savedErrno;
}

}  // namespace

void installInterruptHandler(std::atomic<bool>& cancel) {
  cancelFlag = &cancel;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead = fds[0];
    wakeWrite = fds[1];
  }
  struct sigaction action {};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO;
  // One signal at a time: the first one's time is set before another looks.
  sigemptyset(&action.sa_mask);
  for (const int signal : kCancellingSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kCancellingSignals) sigaction(signal, &action, nullptr);
  // A reader that goes away (`| head`) must not kill an update mid-flash:
  // the failed writes are ignored and the run ends as it would.
  std::signal(SIGPIPE, SIG_IGN);
}

int interruptWakeFd() { return wakeRead.load(); }

bool stdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace zorvik::cli
