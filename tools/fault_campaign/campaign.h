// Runs seeded updates one after another against the simulated logger, through
// the command-line updater's own entry point, and keeps the score.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "sim/simulated_logger.h"

namespace zorvik::campaign {

struct CampaignOptions {
  std::uint64_t firstSeed = 1;
  int runs = 100;
  int maxRepeats = 5;
  std::chrono::seconds timeLimit{120};  // per update
  bool verbose = false;                 // one line per update
  bool showOutput = false;              // and the updater's own output
};

struct Violation {
  std::uint64_t seed;
  std::string what;
};

struct CampaignResult {
  int runs = 0;
  int successes = 0;
  sim::LineFaultCounts faults;
  std::map<int, int> errors;  // exit status -> count
  std::vector<Violation> violations;
  std::chrono::steady_clock::duration elapsed{};
};

// False when no pseudo-terminal can be had; the result is then empty.
bool runCampaign(const CampaignOptions& options, std::ostream& log, CampaignResult& result);

void printTable(const CampaignOptions& options, const CampaignResult& result, std::ostream& out);

}  // namespace zorvik::campaign
