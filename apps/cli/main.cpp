#include <iostream>
#include <string>
#include <vector>

#include "apps/cli/cli.h"
#include "apps/cli/console.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  zorvik::cli::CliIo io{std::cout, std::cerr, std::cin, zorvik::cli::stdinIsTerminal(),
                        zorvik::cli::stderrIsTerminal()};
  zorvik::cli::installInterruptHandler(io.interrupt.signalFlag());
  io.interruptFd = zorvik::cli::interruptWakeFd();
  return zorvik::cli::runCli(arguments, io);
}
