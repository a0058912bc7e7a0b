// UTC time stamps as every machine line and the update history write them:
// ISO 8601 with milliseconds, "2026-12-10T13:10:55.123Z". They sort as the
// times do.
#pragma once

#include <chrono>
#include <string>

namespace zorvik::text {

// Milliseconds are cut, not rounded; times before 1970 are written too.
std::string utcTimestamp(std::chrono::system_clock::time_point time);
std::string utcNow();

}  // namespace zorvik::text
