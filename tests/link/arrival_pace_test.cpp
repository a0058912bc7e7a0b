// The reader's sleep while a reply is still arriving: never past the data,
// and long enough to skip the characters in between.
#include <gtest/gtest.h>

#include "link/arrival_pace.h"

namespace zorvik::link {
namespace {

using std::chrono::microseconds;
const ArrivalPace::Clock::time_point t0{};
constexpr microseconds kLine{1042};  // 9600 baud

TEST(ArrivalPace, UnknownPaceMeansNoSleep) {
  ArrivalPace pace(kLine);
  EXPECT_FALSE(pace.restReadyAt(100)) << "nothing observed";
  pace.observe(t0, 1);
  EXPECT_FALSE(pace.restReadyAt(100)) << "one sample gives no pace";
  pace.observe(t0, 5);
  EXPECT_FALSE(pace.restReadyAt(100)) << "no time passed between samples";
}

TEST(ArrivalPace, SleepsHalfWayToTheLastButOneCharacter) {
  struct Case {
    const char* name;
    microseconds gap;        // between the two samples
    std::size_t secondCount;  // characters at the second sample (first: 1)
    std::size_t remaining;
    microseconds expected;   // after the second sample
  };
  const Case cases[] = {
      {"line pace", kLine, 2, 137, kLine * 68},
      {"ten times faster peer", microseconds(104), 2, 137, microseconds(104) * 68},
      {"packets of 4", microseconds(4000), 5, 11, microseconds(1000) * 5},
      // A peer slower than the line would make the reader oversleep; the
      // line's character time bounds the wait.
      {"slower than the line", microseconds(5000), 2, 11, kLine * 5},
      {"two characters left", kLine, 2, 2, kLine / 2},
      {"one character left", kLine, 2, 1, microseconds(-1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArrivalPace pace(kLine);
    pace.observe(t0, 1);
    pace.observe(t0 + c.gap, c.secondCount);
    const auto at = pace.restReadyAt(c.remaining);
    if (c.expected < microseconds(0)) {
      EXPECT_FALSE(at);
    } else {
      ASSERT_TRUE(at);
      EXPECT_EQ(*at - (t0 + c.gap), c.expected);
    }
  }
}

}  // namespace
}  // namespace zorvik::link
