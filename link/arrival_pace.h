// Private to its library.
// How long a reader may sleep while the rest of a reply is still on the line.
//
// A serial line delivers characters one at a time; waking for each of them
// costs a poll and two reads per character, which on a 9600-baud stop-and-
// wait link is most of the updater's CPU time. Once two reads have shown how
// fast the characters come, the rest of the reply cannot be complete before
// the remaining characters have had time to arrive, so the reader sleeps for
// half of that time and measures again: a pace misjudged from a short, jittery
// first span can then never make it oversleep the data, and the wake-ups per
// reply still drop from one per character to about log2 of its length. The
// pace is measured, not taken
// from the baud rate alone, so a faster peer (a USB bridge handing over
// packets, a simulator with a faster clock) is not slowed down; it is never
// assumed slower than the line's own character time, so the reader can never
// oversleep the data.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

namespace zorvik::link {

class ArrivalPace {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ArrivalPace(std::chrono::microseconds lineCharTime) : lineCharTime_(lineCharTime) {}

  // `received` characters in all had arrived at `at`.
  void observe(Clock::time_point at, std::size_t received) {
    if (samples_++ == 0) first_ = Sample{at, received};
    last_ = Sample{at, received};
  }

  // The moment to look again while `remaining` characters are still missing:
  // half way to when the last but one of them is due. Empty when the pace is
  // not known yet or nothing is worth waiting for.
  std::optional<Clock::time_point> restReadyAt(std::size_t remaining) const {
    if (samples_ < 2 || remaining < 2 || last_.received <= first_.received || last_.at <= first_.at) {
      return std::nullopt;
    }
    auto perChar = (last_.at - first_.at) / static_cast<long>(last_.received - first_.received);
    if (perChar > lineCharTime_) perChar = lineCharTime_;
    return last_.at + perChar * static_cast<long>(remaining - 1) / 2;
  }

 private:
  struct Sample {
    Clock::time_point at;
    std::size_t received = 0;
  };
  std::chrono::microseconds lineCharTime_;
  std::size_t samples_ = 0;
  Sample first_{};
  Sample last_{};
};

}  // namespace zorvik::link
