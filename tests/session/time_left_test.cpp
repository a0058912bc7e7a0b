// The time left of an image: told only once enough lines were measured, from
// the rate of the lines since the first count, and measured afresh by every
// run of an update.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "session/time_left.h"
#include "sim/logger_for_image.h"
#include "tests/session/session_harness.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono_literals;
using session::TimeLeft;

struct Sample {
  int done;
  int total;
  int atMs;
};

struct TimeLeftCase {
  const char* name;
  std::vector<Sample> samples;
  std::optional<long long> lastSeconds;  // what the last sample tells; nullopt: no time yet
};

TEST(TimeLeft, IsToldFromTheMeasuredRateOnceTenLinesWereMeasured) {
  const TimeLeftCase cases[] = {
      {"the first count only starts the measurement", {{50, 1000, 0}}, std::nullopt},
      {"nine lines measured are too few", {{5, 100, 0}, {14, 100, 900}}, std::nullopt},
      {"ten lines in a second, ninety to go", {{0, 100, 0}, {10, 100, 1000}}, 9},
      {"the rate is that since the first count, not since line 0", {{40, 100, 0}, {50, 100, 2000}}, 10},
      {"part of a second left is told as a whole one", {{0, 15, 0}, {10, 15, 1000}, {14, 15, 1100}}, 1},
      {"every line done: nothing left", {{0, 20, 0}, {20, 20, 500}}, 0},
      {"no time passed: no rate", {{0, 100, 0}, {20, 100, 0}}, std::nullopt},
      {"a count that goes back starts again", {{0, 100, 0}, {30, 100, 1000}, {5, 100, 2000}}, std::nullopt},
      {"a count past the total leaves nothing", {{0, 10, 0}, {12, 10, 1000}}, 0},
  };
  for (const TimeLeftCase& c : cases) {
    SCOPED_TRACE(c.name);
    TimeLeft estimate;
    const TimeLeft::Clock::time_point zero{};
    session::LineProgress shown;
    for (const Sample& s : c.samples) shown = estimate.update({s.done, s.total}, zero + std::chrono::milliseconds(s.atMs));
    EXPECT_EQ(shown.done, c.samples.back().done);
    EXPECT_EQ(shown.total, c.samples.back().total);
    ASSERT_EQ(shown.timeLeft.has_value(), c.lastSeconds.has_value());
    if (c.lastSeconds) {
      EXPECT_EQ(shown.timeLeft->count(), *c.lastSeconds);
    }
  }
}

TEST(TimeLeft, CountsTheTimeAfterTheLastLine) {
  TimeLeft estimate(std::chrono::milliseconds(2500));
  const TimeLeft::Clock::time_point zero{};
  estimate.update({0, 100}, zero);
  EXPECT_EQ(estimate.update({10, 100}, zero + 1s).timeLeft, std::chrono::seconds(12)) << "9 s of lines, then 2.5 s";
  EXPECT_EQ(estimate.update({100, 100}, zero + 2s).timeLeft, std::chrono::seconds(3)) << "the pauses are still to come";
}

TEST(TimeLeft, RestartForgetsTheEarlierRun) {
  TimeLeft estimate;
  const TimeLeft::Clock::time_point zero{};
  estimate.update({0, 100}, zero);
  ASSERT_TRUE(estimate.update({20, 100}, zero + 1s).timeLeft);
  estimate.restart();
  EXPECT_FALSE(estimate.update({30, 100}, zero + 2s).timeLeft) << "a new run's first count only starts it";
}

TEST(TimeLeft, TextIsMinutesAndSeconds) {
  const std::pair<long long, const char*> cases[] = {
      {0, "0:00 left"}, {9, "0:09 left"}, {59, "0:59 left"}, {60, "1:00 left"},
      {155, "2:35 left"}, {3665, "61:05 left"}, {-3, "0:00 left"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(session::timeLeftText(std::chrono::seconds(seconds)), text);
}

// A clock that moves one second each time it is read: the session reads it
// once per progress event, so the time left depends on the events alone.
std::function<TimeLeft::Clock::time_point()> steppingClock() {
  auto now = std::make_shared<TimeLeft::Clock::time_point>();
  return [now] { return *now += 1s; };
}

TEST_F(SessionTest, AnUpdateCountsItsLinesAndTellsTheTimeLeftFromTheirRate) {
  startLogger(sim::loggerFor(12));
  clock = steppingClock();
  makeSession();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  ASSERT_EQ(session->outcome(), 0);

  const auto& lines = view.lines;
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.front(), session::LineProgress{}) << "nothing known when the run starts";
  EXPECT_EQ(lines.back(), session::LineProgress{}) << "nothing shown once it has ended";
  const std::vector<session::LineProgress> counted(lines.begin() + 1, lines.end() - 1);
  const int total = counted.front().total;
  ASSERT_GT(total, 100);
  bool told = false;
  for (std::size_t i = 0; i < counted.size(); ++i) {
    SCOPED_TRACE("progress event " + std::to_string(i));
    const session::LineProgress& p = counted[i];
    EXPECT_EQ(p.total, total);
    EXPECT_LE(p.done, total);
    if (i > 0) {
      EXPECT_GT(p.done, counted[i - 1].done);
    }
    const int measured = p.done - counted.front().done;
    ASSERT_EQ(p.timeLeft.has_value(), measured >= TimeLeft::kMinLinesMeasured);
    if (!p.timeLeft) continue;
    told = true;
    // i seconds for `measured` lines: the lines still to go at that rate,
    // then the fixed pauses after the last line.
    const double pauses = std::chrono::duration<double>(engine::kPausesAfterLastLine).count();
    const double expected = std::ceil(static_cast<double>(i) * (total - p.done) / measured + pauses);
    EXPECT_EQ(p.timeLeft->count(), static_cast<long long>(expected));
  }
  EXPECT_TRUE(told);
  EXPECT_GE(counted.back().done, total * 98 / 100) << "the last count is near the end of the image";
}

TEST_F(SessionTest, ARepeatMeasuresItsOwnLines) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({sim::FaultKind::AlteredEcho, sim::Request::DataLine, 400});
  clock = steppingClock();
  makeSession();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  ASSERT_EQ(session->attempts(), 2);
  // The second run's counts begin after the empty progress of its start.
  const auto& lines = view.lines;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].total == 0) starts.push_back(i);
  }
  ASSERT_GE(starts.size(), 3u);
  const std::size_t firstOfRepeat = starts[starts.size() - 2] + 1;
  ASSERT_LT(firstOfRepeat, lines.size());
  ASSERT_GT(lines[firstOfRepeat].total, 0);
  EXPECT_FALSE(lines[firstOfRepeat].timeLeft) << "the failed run's lines do not count for the repeat";
  std::size_t lastOfFailed = starts[starts.size() - 2];
  while (lastOfFailed > 0 && lines[lastOfFailed].total == 0) --lastOfFailed;
  EXPECT_TRUE(lines[lastOfFailed].timeLeft) << "the failed run had told a time";
}

}  // namespace
}  // namespace zorvik::testing
