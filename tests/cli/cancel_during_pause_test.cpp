// Ctrl-C while the updater waits before repeating a run that got no answer:
// the repeat must stop at its first exchange, not start the update again.
#include <gtest/gtest.h>

#include <sstream>

#include "cli.h"
#include "run_options.h"
#include "simulated_logger.h"
#include "test_support.h"

namespace zorvik::testing {
namespace {

// Stands in for the 1500 ms pause before a repeat: the user presses Ctrl-C
// in the middle of it (the interrupt handler sets the cancel flag).
class InterruptDuringRepeatPause final : public Sleeper {
 public:
  void sleepMs(int ms) override {
    if (ms == 1500) CancelRequested = true;
  }
};

TEST(CancelDuringRepeatPause, StopsTheRepeatBeforeItsFirstExchange) {
  CancelRequested = false;
  sim::SimulatedLogger logger;
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  logger.injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 1000});
  InterruptDuringRepeatPause sleeper;
  std::ostringstream out, err;
  std::istringstream in;
  cli::CliIo io{out, err, in, false, false, &sleeper};
  const int status = cli::runCli({"--port", logger.devicePath(), "--yes", "--max-repeats", "3"}, io);
  EXPECT_EQ(status, 20) << out.str();
  const auto requests = logger.requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), sim::Request::IdentityQuery), 5)
      << "only the first run's five attempts";
  CancelRequested = false;
}

}  // namespace
}  // namespace zorvik::testing
