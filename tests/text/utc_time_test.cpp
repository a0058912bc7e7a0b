// UTC time stamps against texts obtained outside this code.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "text/utc_time.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono;

TEST(UtcTimestamp, KnownInstants) {
  struct Case {
    const char* name;
    system_clock::time_point time;
    const char* expected;
  };
  // Expected texts from `date -u -d @SECONDS +%FT%T` (GNU coreutils), the
  // milliseconds appended by hand.
  const Case cases[] = {
      {"epoch", system_clock::time_point{}, "1970-01-01T00:00:00.000Z"},
      {"the issue's example", system_clock::time_point{milliseconds{1796908255123}}, "2026-12-10T13:10:55.123Z"},
      {"cut, not rounded", system_clock::time_point{seconds{1796908255} + nanoseconds{999'999'999}},
       "2026-12-10T13:10:55.999Z"},
      {"leap day", system_clock::time_point{seconds{1709251199} + milliseconds{7}}, "2024-02-29T23:59:59.007Z"},
      {"2100 is no leap year", system_clock::time_point{seconds{4107542400}}, "2100-03-01T00:00:00.000Z"},
      {"before the epoch", system_clock::time_point{seconds{-86401} + milliseconds{40}}, "1969-12-30T23:59:59.040Z"},
      {"one millisecond before the epoch", system_clock::time_point{milliseconds{-1}}, "1969-12-31T23:59:59.999Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text::utcTimestamp(c.time), c.expected);
  }
}

TEST(UtcTimestamp, NowIsWellFormedAndBetweenTheInstantsAroundIt) {
  const std::string before = text::utcTimestamp(system_clock::now());
  const std::string now = text::utcNow();
  const std::string after = text::utcTimestamp(system_clock::now());
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"))) << now;
  // The format sorts as the time does.
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

}  // namespace
}  // namespace zorvik::testing
