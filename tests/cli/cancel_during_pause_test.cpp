// Ctrl-C while the updater waits before repeating a run that got no answer:
// the repeat must stop at its first exchange, not start the update again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "apps/cli/cli.h"
#include "sim/simulated_logger.h"

namespace zorvik::testing {
namespace {

TEST(CancelDuringRepeatPause, StopsTheRepeatBeforeItsFirstExchange) {
  sim::SimulatedLogger logger;
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  logger.injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 1000});
  std::ostringstream out, err;
  std::istringstream in;
  cli::CliIo io{out, err, in, false, false};
  io.sleeper = std::make_shared<link::NoPauses>();
  io.repeatPause = std::chrono::seconds(3);
  const auto identityQueries = [&logger] {
    const auto requests = logger.requests();
    return std::count(requests.begin(), requests.end(), sim::Request::IdentityQuery);
  };
  // The user presses Ctrl-C (the interrupt handler cancels this token) once
  // the first run has spent its five attempts and the updater is waiting:
  // the fifth attempt's read times out after about 0.2 s, the pause lasts 3 s.
  std::jthread user([&] {
    while (identityQueries() < 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    io.interrupt.cancel();
  });
  const int status = cli::runCli({"--port", logger.devicePath(), "--yes", "--max-repeats", "3"}, io);
  EXPECT_EQ(status, 20) << out.str();
  EXPECT_EQ(identityQueries(), 5) << "only the first run's five attempts";
  EXPECT_NE(out.str().find("Repeat update because communication error!"), std::string::npos)
      << "the cancel came during the pause, after the first run had ended";
}

}  // namespace
}  // namespace zorvik::testing
