// Whether one seeded update ended as it may: a success that really put the
// image on the logger, or an error the faults of that run can explain.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim/simulated_logger.h"
#include "tools/fault_campaign/scenario.h"

namespace zorvik::campaign {

using Event = std::pair<std::uint32_t, std::int32_t>;

// Everything seen of one update once it is over.
struct RunRecord {
  int status = -1;                          // exit status of the updater
  std::vector<std::vector<Event>> attempts;  // events, one list per worker
  sim::LineFaultCounts faults;
  sim::Mode mode = sim::Mode::Dead;
  std::uint16_t applicationClass = 0;
  std::map<std::uint16_t, std::string> flash;
  std::vector<sim::FlashWrite> flashWrites;
  bool programmingOpen = false;
  int restarts = 0;
  int maxRepeats = 0;
};

// Exit statuses the faults of a run can explain (besides 0).
std::vector<int> allowedErrors(const sim::LineFaultCounts& faults);

// Empty when the run ended as it may; otherwise one sentence per breach.
std::vector<std::string> judge(const Scenario& scenario, const RunRecord& run);

}  // namespace zorvik::campaign
