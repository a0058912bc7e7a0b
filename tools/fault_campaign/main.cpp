// zorvik-fault-campaign: many seeded updates against a simulated logger on a
// bad line; prints the score and every breach with the line that replays it.
// Exit status: 0 no violation, 1 violations, 2 usage error, 77 no pty.
#include <iostream>
#include <string>

#include "tools/fault_campaign/campaign.h"

namespace {

constexpr const char* kUsage = R"(Usage: zorvik-fault-campaign [options]
  --seed S          first seed (default 1)
  --runs N          number of seeded updates (default 100)
  --max-repeats N   the updater's --max-repeats (default 5)
  --time-limit S    seconds one update may take before it counts as hung (default 120)
  --verbose         one line per update
  --show-output     the updater's output of every update as well (for a replay)
)";

bool number(const std::string& text, unsigned long long max, unsigned long long& value) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoull(text);
  return value <= max;
}

bool parse(int argc, char** argv, zorvik::campaign::CampaignOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--verbose" || name == "--show-output") {
      o.verbose = true;
      o.showOutput = o.showOutput || name == "--show-output";
      continue;
    }
    unsigned long long v = 0;
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (name == "--seed" && number(value, ~0ULL >> 1, v)) o.firstSeed = v;
    else if (name == "--runs" && number(value, 1'000'000, v) && v > 0) o.runs = static_cast<int>(v);
    else if (name == "--max-repeats" && number(value, 1000, v)) o.maxRepeats = static_cast<int>(v);
    else if (name == "--time-limit" && number(value, 86400, v) && v > 0) o.timeLimit = std::chrono::seconds(v);
    else return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  zorvik::campaign::CampaignOptions options;
  if (!parse(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  zorvik::campaign::CampaignResult result;
  if (!zorvik::campaign::runCampaign(options, std::cerr, result)) {
    std::cerr << "zorvik-fault-campaign: no pseudo-terminal available (needs /dev/ptmx)\n";
    return 77;
  }
  zorvik::campaign::printTable(options, result, std::cout);
  return result.violations.empty() ? 0 : 1;
}
