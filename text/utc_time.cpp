#include "text/utc_time.h"

#include <cstdio>

namespace zorvik::text {

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  // Calendar arithmetic rather than gmtime: the same on every platform, and
  // right for times before 1970.
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()}, static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string utcNow() { return utcTimestamp(std::chrono::system_clock::now()); }

}  // namespace zorvik::text
