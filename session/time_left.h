// How long the rest of an image takes, from the rate its lines have gone at
// so far. An estimate from the first line or two jumps about (the logger
// erases before the first line, a line's echo takes a moment longer now and
// then), so none is given until enough lines have been measured.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "engine/events.h"

namespace zorvik::session {

// How far an image has gone, as a front end shows it: lines done of all,
// and the time left once it can be told.
struct LineProgress {
  int done = 0;
  int total = 0;  // 0: no image under way
  std::optional<std::chrono::seconds> timeLeft;
  friend bool operator==(const LineProgress&, const LineProgress&) = default;
};

class TimeLeft {
 public:
  using Clock = std::chrono::steady_clock;
  // Lines that must have gone at the measured rate before a time is told.
  static constexpr int kMinLinesMeasured = 10;

  // afterLastLine: what the update takes once the last line is through (its
  // fixed pauses), added to every time told.
  explicit TimeLeft(Clock::duration afterLastLine = Clock::duration::zero()) : afterLastLine_(afterLastLine) {}

  // A new run: nothing measured.
  void restart() { first_.reset(); }
  // The run's latest line count, seen at `now`. The first count seen starts
  // the measurement; the time left is the lines still to go at the rate of
  // the lines since, and the time after the last line, rounded up to whole
  // seconds.
  LineProgress update(const engine::LineCount& lines, Clock::time_point now);

 private:
  struct Sample {
    int done;
    Clock::time_point at;
  };
  Clock::duration afterLastLine_;
  std::optional<Sample> first_;
};

// "2:35 left", "61:05 left": minutes and seconds.
std::string timeLeftText(std::chrono::seconds left);

}  // namespace zorvik::session
