// The command line run in this process as a user runs it from a shell: its
// arguments, what is typed, and what it prints on each stream. The simulator
// answers at once, so the protocol's pauses and the pause before a repeat
// are left out unless a test asks for them.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "apps/cli/cli.h"
#include "link/sleeper.h"

namespace zorvik::testing {

struct CliResult {
  int status = 0;
  std::string out;
  std::string err;
};

struct CliSetup {
  std::string typed;             // standard input
  bool inputIsTerminal = false;  // questions are asked only on a terminal
  std::shared_ptr<link::Sleeper> sleeper = std::make_shared<link::NoPauses>();
  std::chrono::milliseconds repeatPause{0};
  bool keepHistory = true;
};

inline CliResult runCliHere(const std::vector<std::string>& arguments, const CliSetup& setup = {}) {
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(setup.typed);
  cli::CliIo io{out, err, in, setup.inputIsTerminal, false};
  io.sleeper = setup.sleeper;
  io.repeatPause = setup.repeatPause;
  io.keepHistory = setup.keepHistory;
  const int status = cli::runCli(arguments, io);
  return {status, out.str(), err.str()};
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace zorvik::testing
