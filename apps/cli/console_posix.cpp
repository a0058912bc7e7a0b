#include <unistd.h>

#include <atomic>
#include <csignal>

#include "console.h"

namespace zorvik::cli {
namespace {

std::atomic<int> interrupts{0};
// Set once at start-up, before the handler can run.
std::atomic<std::atomic<bool>*> cancelFlag{nullptr};

extern "C" void onInterrupt(int) {
  if (interrupts.fetch_add(1) == 0) {
    if (std::atomic<bool>* flag = cancelFlag.load()) flag->store(true);
    return;
  }
  _exit(130);
}

}  // namespace

void installInterruptHandler(std::atomic<bool>& cancel) {
  cancelFlag = &cancel;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace zorvik::cli
