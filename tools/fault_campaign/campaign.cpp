#include "tools/fault_campaign/campaign.h"

#include <dirent.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "apps/cli/cli.h"
#include "link/cancel_token.h"
#include "link/sleeper.h"
#include "tools/fault_campaign/attempt_log.h"
#include "tools/fault_campaign/scenario.h"
#include "tools/fault_campaign/verdict.h"

namespace zorvik::campaign {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Entries of a /proc/self directory, less "." and "..".
int countEntries(const char* path) {
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") ++n;
  }
  ::closedir(dir);
  return n;
}

struct Resources {
  int fds = 0;
  int threads = 0;
  friend bool operator==(const Resources&, const Resources&) = default;
};

Resources resources() { return {countEntries("/proc/self/fd"), countEntries("/proc/self/task")}; }

// A thread that has said it is done may take a moment more to vanish.
Resources settledResources(const Resources& before) {
  Resources now = resources();
  for (int i = 0; i < 200 && !(now == before); ++i) {
    std::this_thread::sleep_for(10ms);
    now = resources();
  }
  return now;
}

// One port's update exactly as a user runs it: `zorvik-updater-cli --port P
// --yes --json --max-repeats N`, with every worker recorded. The protocol's
// fixed pauses and the pause before a repeat cost nothing here: the campaign
// runs at the simulator's full speed. Serial timeouts stay real.
int commandLineUpdate(const std::string& port, int maxRepeats, const AttemptLog& log, const link::CancelToken& cancel,
                      std::ostream& out, std::ostream& err) {
  std::istringstream in;
  cli::CliIo io(out, err, in);
  io.sleeper = std::make_shared<link::NoPauses>();
  io.repeatPause = 0ms;
  io.interrupt = cancel;
  io.workers = log.factory();
  io.keepHistory = false;  // trial updates, not the user's
  std::vector<std::string> arguments = {"--port", port, "--yes", "--json"};
  if (maxRepeats >= 0) arguments.insert(arguments.end(), {"--max-repeats", std::to_string(maxRepeats)});
  return cli::runCli(arguments, io);
}

// Runs the update on its own thread so that a hang can be seen, wherever it
// is. On a hang the update is cancelled; if even that does not end it,
// nothing more can be trusted and the campaign stops here.
class Watchdog {
 public:
  bool run(const std::function<int()>& update, const link::CancelToken& cancel, std::chrono::seconds limit, int& status) {
    std::thread worker([&] {
      const int s = update();
      std::lock_guard lock(mutex_);
      status_ = s;
      done_ = true;
      finished_.notify_all();
    });
    const bool inTime = waitDone(limit);
    if (!inTime) {
      cancel.cancel();
      if (!waitDone(30s)) {
        worker.detach();
        return false;
      }
    }
    worker.join();
    status = status_;
    hung_ = !inTime;
    return true;
  }
  bool hung() const { return hung_; }

 private:
  bool waitDone(std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [&] { return done_; });
  }

  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  int status_ = -1;
  bool hung_ = false;
};

bool waitForNoWorkers(const AttemptLog& log, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (log.liveWorkers() > 0) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

RunRecord observe(const sim::SimulatedLogger& logger, int status, const AttemptLog& log, int maxRepeats) {
  RunRecord r;
  r.status = status;
  r.attempts = log.attempts();
  r.faults = logger.lineFaultCounts();
  r.mode = logger.mode();
  r.applicationClass = logger.applicationClass();
  r.flash = logger.flash();
  r.flashWrites = logger.flashWrites();
  r.programmingOpen = logger.programmingOpen();
  r.restarts = logger.restarts();
  r.maxRepeats = maxRepeats;
  return r;
}

struct Outcome {
  RunRecord record;
  std::vector<std::string> violations;
};

// One seeded update from start to end. False: no pseudo-terminal.
bool runOne(const Scenario& scenario, const CampaignOptions& options, Outcome& outcome, CampaignResult& partial,
            std::ostream& report) {
  const Resources before = resources();
  {
    sim::SimulatedLogger logger(scenario.config);
    if (!logger.start()) return false;
    std::ostringstream out, err;
    AttemptLog log;
    const link::CancelToken cancel;
    int status = -1;
    Watchdog watchdog;
    const auto update = [&] { return commandLineUpdate(logger.devicePath(), options.maxRepeats, log, cancel, out, err); };
    if (!watchdog.run(update, cancel, options.timeLimit, status)) {
      partial.violations.push_back({scenario.seed, "hung, and did not end even when cancelled"});
      printTable(options, partial, std::cout);
      std::cout.flush();  // _Exit flushes nothing
      std::_Exit(3);
    }
    if (options.showOutput) report << out.str() << err.str();
    if (!waitForNoWorkers(log, 10s)) outcome.violations.push_back("a worker did not end after the run");
    outcome.record = observe(logger, status, log, options.maxRepeats);
    if (watchdog.hung()) {
      outcome.violations.push_back("no end within " + std::to_string(options.timeLimit.count()) + " s");
    }
  }
  const Resources after = settledResources(before);
  if (after.fds != before.fds) {
    outcome.violations.push_back("file descriptors " + std::to_string(before.fds) + " before, " +
                                 std::to_string(after.fds) + " after");
  }
  if (after.threads != before.threads) {
    outcome.violations.push_back("threads " + std::to_string(before.threads) + " before, " +
                                 std::to_string(after.threads) + " after");
  }
  for (auto& v : judge(scenario, outcome.record)) outcome.violations.push_back(std::move(v));
  return true;
}

void tally(const Scenario& scenario, const Outcome& outcome, CampaignResult& result) {
  ++result.runs;
  result.faults += outcome.record.faults;
  if (outcome.record.status == 0) {
    ++result.successes;
  } else {
    ++result.errors[outcome.record.status];
  }
  for (const auto& v : outcome.violations) result.violations.push_back({scenario.seed, v});
}

void logRun(const Scenario& scenario, const Outcome& outcome, std::chrono::steady_clock::duration took,
            std::ostream& log) {
  log << "seed " << scenario.seed << ": " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
      << " ms, image " << scenario.image << ", " << scenario.profile << ", "
      << outcome.record.faults.total() << " faults, " << outcome.record.attempts.size() << " attempts, exit "
      << outcome.record.status << (outcome.violations.empty() ? "" : ", VIOLATION") << '\n'
      << std::flush;
}

}  // namespace

bool runCampaign(const CampaignOptions& options, std::ostream& log, CampaignResult& result) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < options.runs; ++i) {
    const Scenario scenario = scenarioFor(options.firstSeed + static_cast<std::uint64_t>(i));
    Outcome outcome;
    const auto runStart = std::chrono::steady_clock::now();
    if (!runOne(scenario, options, outcome, result, log)) return false;
    tally(scenario, outcome, result);
    if (options.verbose || !outcome.violations.empty()) {
      logRun(scenario, outcome, std::chrono::steady_clock::now() - runStart, log);
    }
    result.elapsed = std::chrono::steady_clock::now() - start;
  }
  return true;
}

void printTable(const CampaignOptions& options, const CampaignResult& result, std::ostream& out) {
  auto row = [&out](const std::string& label, std::uint64_t value) {
    out << "| " << std::left << std::setw(28) << label << " | " << std::right << std::setw(8) << value << " |\n";
  };
  out << "Fault campaign: seeds " << options.firstSeed << " to "
      << options.firstSeed + static_cast<std::uint64_t>(options.runs) - 1 << ", --max-repeats "
      << options.maxRepeats << ", time limit " << options.timeLimit.count() << " s per update, "
      << std::chrono::duration_cast<std::chrono::seconds>(result.elapsed).count() << " s in all\n\n";
  out << "| " << std::left << std::setw(28) << "what" << " | " << std::right << std::setw(8) << "count" << " |\n"
      << "|------------------------------|----------|\n";
  row("runs", static_cast<std::uint64_t>(result.runs));
  row("faults injected", result.faults.total());
  for (std::size_t k = 0; k < sim::kLineFaultKinds; ++k) {
    row(std::string("  ") + sim::lineFaultName(static_cast<sim::LineFault>(k)), result.faults.byKind[k]);
  }
  row("successes (exit 0)", static_cast<std::uint64_t>(result.successes));
  for (const auto& [status, count] : result.errors) row("exit " + std::to_string(status), static_cast<std::uint64_t>(count));
  row("violations", result.violations.size());
  for (const auto& v : result.violations) {
    out << "\nVIOLATION seed " << v.seed << ": " << v.what << "\n  replay: zorvik-fault-campaign --seed " << v.seed
        << " --runs 1 --max-repeats " << options.maxRepeats << " --show-output\n";
  }
}

}  // namespace zorvik::campaign
