// What one seed of the campaign sets up: which logger (and so which built-in
// image it must end up with) and how bad its line is.
#pragma once

#include <cstdint>
#include <string>

#include "sim/simulated_logger.h"

namespace zorvik::campaign {

struct Scenario {
  std::uint64_t seed = 0;
  int image = 0;           // the built-in image this logger must receive
  std::string profile;     // how the faults are spread, for the report
  sim::LoggerConfig config;
};

Scenario scenarioFor(std::uint64_t seed);

}  // namespace zorvik::campaign
