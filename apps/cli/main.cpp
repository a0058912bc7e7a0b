#include <unistd.h>

#include <csignal>
#include <iostream>

#include "cli.h"

namespace {

std::atomic<int> interrupts{0};

// First Ctrl-C acts as "Cancel": the run ends with error 20 at its next
// exchange and releases the port. A second one quits at once.
extern "C" void onInterrupt(int) {
  if (interrupts.fetch_add(1) == 0) {
    zorvik::CancelRequested = true;
    return;
  }
  _exit(130);
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  std::vector<std::string> arguments(argv + 1, argv + argc);
  zorvik::cli::CliIo io{std::cout, std::cerr, std::cin, isatty(STDIN_FILENO) == 1, isatty(STDERR_FILENO) == 1};
  return zorvik::cli::runCli(arguments, io);
}
