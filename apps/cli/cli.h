// The command-line updater, as a function of its arguments and streams so
// that tests drive it in-process exactly as a user meets it.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "engine/run_handle.h"
#include "link/cancel_token.h"
#include "link/sleeper.h"

namespace zorvik::cli {

struct CliIo {
  CliIo(std::ostream& outStream, std::ostream& errStream, std::istream& inStream, bool inTerminal = false,
        bool errTerminal = false)
      : out(outStream), err(errStream), in(inStream), inIsTerminal(inTerminal), errIsTerminal(errTerminal) {}

  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool inIsTerminal = false;
  bool errIsTerminal = false;
  // The protocol's fixed pauses; tests pass one that does not sleep.
  std::shared_ptr<link::Sleeper> sleeper = std::make_shared<link::ThreadSleeper>();
  // The pause before a repeat after no answer.
  std::chrono::milliseconds repeatPause{1500};
  // Cancelled by Ctrl-C (the interrupt handler); every run is cancelled with it.
  link::CancelToken interrupt;
  // Becomes readable when `interrupt` is cancelled, for loops that wait on
  // descriptors; -1 none (a test that cancels also writes to its own pipe).
  int interruptFd = -1;
  // Builds each run's worker; a tool that watches every run passes its own.
  engine::WorkerFactory workers = engine::makeLoggerUpdate;
  // Every update is recorded in the update history (--history-db, else the
  // default place); a tool running many trial updates turns that off.
  bool keepHistory = true;
  // Measures the line rate behind the progress bar's time left; tests give
  // a clock of their own.
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
};

// Exit status: 0 every logger updated; otherwise the status of the first port
// (in command-line order) that failed: its error code for errors 10 to 70 (30
// when the repeats after "no answer" ran out), 1 any other failure; 1 also
// when the user declined, 2 a usage error.
int runCli(const std::vector<std::string>& arguments, CliIo& io);

}  // namespace zorvik::cli
