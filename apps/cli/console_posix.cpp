#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "apps/cli/console.h"

namespace zorvik::cli {
namespace {

std::atomic<int> interrupts{0};
// Set once at start-up, before the handler can run.
std::atomic<std::atomic<bool>*> cancelFlag{nullptr};
// A pipe whose read end becomes readable on the first interrupt, for a loop
// that waits on descriptors (the station) rather than on a run.
std::atomic<int> wakeWrite{-1};
std::atomic<int> wakeRead{-1};

extern "C" void onInterrupt(int) {
  if (interrupts.fetch_add(1) == 0) {
    if (std::atomic<bool>* flag = cancelFlag.load()) flag->store(true);
    if (const int fd = wakeWrite.load(); fd >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);  // async-signal-safe
    }
    return;
  }
  _exit(130);
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
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interruptWakeFd() { return wakeRead.load(); }

bool stdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace zorvik::cli
