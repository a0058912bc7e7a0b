// A field failure reproduced from its trace alone: an update fails against
// the simulated logger with a trace file written, then the simulator replays
// that file on a new line and the same update meets the same failure, report
// line for report line.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/event_texts.h"
#include "link/file_trace.h"
#include "sim/replay.h"
#include "tests/engine/engine_fixture.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono_literals;
using sim::FaultKind;

// Wording the events needs a port name; both runs get the same one, so the
// report lines compare without the device path, which differs.
constexpr const char* kPortName = "the logger's port";

std::vector<std::string> reportTexts(const std::vector<engine::RunEvent>& events) {
  std::vector<std::string> texts;
  for (const auto& event : events) {
    const engine::EventPresentation p = presentEvent(event, kPortName);
    if (p.report) texts.push_back(p.text);
  }
  return texts;
}

struct ReplayCase {
  const char* name;
  sim::Fault fault;
  Event final;
  std::vector<std::string> lastReportLines;  // the end of the report, written out
  link::FailureKind failure;
  friend void PrintTo(const ReplayCase& c, std::ostream* os) { *os << c.name; }
};

class TraceReplay : public EngineTest, public ::testing::WithParamInterface<ReplayCase> {
 protected:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(tracePath_, ignored);
  }

  std::string tracePath_ = (std::filesystem::temp_directory_path() /
                            ("zorvik-trace-replay-" + std::to_string(::getpid()) + ".txt"))
                               .string();
};

TEST_P(TraceReplay, ReproducesTheReportOfTheTracedRun) {
  const ReplayCase& c = GetParam();
  startLogger(sim::loggerFor(12));
  logger_->injectFault(c.fault);
  engine::RunRequest traced = request();
  traced.trace = std::make_shared<link::FileTrace>(tracePath_);
  const auto tracedEvents = run(std::move(traced));
  const auto tracedReport = reportTexts(lastRun_);
  const auto tracedFailure = lastRun_.back().failure.kind;
  logger_->stop();
  // The traced run failed as the fault makes it fail, so the comparison
  // below is about that failure.
  ASSERT_FALSE(tracedEvents.empty());
  ASSERT_EQ(tracedEvents.back(), c.final);
  ASSERT_GE(tracedReport.size(), c.lastReportLines.size());
  EXPECT_EQ(std::vector<std::string>(tracedReport.end() - static_cast<std::ptrdiff_t>(c.lastReportLines.size()),
                                     tracedReport.end()),
            c.lastReportLines);

  auto loaded = sim::loadReplayScript(tracePath_);
  ASSERT_TRUE(loaded.script.has_value()) << loaded.error;
  const std::size_t exchanges = loaded.script->exchanges.size();
  sim::ReplayLogger replay(std::move(*loaded.script));
  ASSERT_TRUE(replay.start());
  engine::RunRequest again = request();
  again.port = replay.devicePath();
  const auto replayedEvents = run(std::move(again));
  const auto replayedReport = reportTexts(lastRun_);

  EXPECT_EQ(replayedReport, tracedReport);
  EXPECT_EQ(replayedEvents, tracedEvents);
  EXPECT_EQ(lastRun_.back().failure.kind, tracedFailure);
  EXPECT_EQ(tracedFailure, c.failure);
  // Every request of the trace was met in order, none differed. (Frames sent
  // without waiting for an answer may still be on their way.)
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (replay.matched() < exchanges && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(replay.matched(), exchanges);
  EXPECT_FALSE(replay.stopped()) << ::testing::PrintToString(replay.takeMessages());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TraceReplay,
    ::testing::Values(
        // The echo of data line 10 comes back with one digit changed.
        ReplayCase{"EchoError",
                   {FaultKind::AlteredEcho, sim::Request::DataLine, 10},
                   {10, 44},
                   {"Aborted because programming error at line 10 !", "Repeat because programming error!"},
                   link::FailureKind::EchoDiffers},
        // Data line 20 meets silence twice, then its answer: the timeouts
        // of the trace are timeouts of the replay, and the update goes on.
        ReplayCase{"SilenceThenAnswer",
                   {FaultKind::NoAnswer, sim::Request::DataLine, 20, 2},
                   {0, 0},
                   {"Update ZorvikB V6.26 succesfully completed."},
                   link::FailureKind::None},
        // The logger stops answering at the identity query after the switch:
        // five timeouts, and the run ends asking for a repeat.
        ReplayCase{"SilentBootloader",
                   {FaultKind::NoAnswer, sim::Request::IdentityQuery, 1, 5},
                   {13, 0},
                   {"Repeat update because communication error!"},
                   link::FailureKind::Silent},
        // The line dies at data line 30: the replay hangs up there too.
        ReplayCase{"HangUp",
                   {FaultKind::HangUp, sim::Request::DataLine, 30},
                   {10, 11},
                   {"Aborted because error when reading/writing to serial port!"},
                   link::FailureKind::PortIo}),
    [](const ::testing::TestParamInfo<ReplayCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorvik::testing
