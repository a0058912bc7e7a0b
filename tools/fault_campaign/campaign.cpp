#include "campaign.h"

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

#include "attempt_log.h"
#include "cancel_token.h"
#include "console_output.h"
#include "run_request.h"
#include "scenario.h"
#include "sleeper.h"
#include "update_runner.h"
#include "update_session.h"
#include "verdict.h"

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

// Brings the runs' events to the thread of the update in posting order, as
// the command line's own queue does; post() never waits for the reader.
class EventQueue final : public EventSink {
 public:
  void post(RunEvent event) noexcept override {
    try {
      {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(event));
      }
      ready_.notify_one();
    } catch (...) {
      // Out of memory for one event: the watchdog ends the update.
    }
  }

  // The next event, or nothing once `deadline` has passed.
  std::optional<RunEvent> take(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return !queue_.empty(); };
    if (deadline) {
      if (!ready_.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
      ready_.wait(lock, ready);
    }
    RunEvent event = std::move(queue_.front());
    queue_.pop_front();
    return event;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<RunEvent> queue_;
};

// One port's update as the command-line updater runs it with --yes --json
// (cli::runUpdates): the same update session, the same output and the same
// exit status, with every worker recorded (the command line takes no worker
// factory). The protocol's fixed pauses and the pause before a repeat cost
// nothing here: the campaign runs at the simulator's full speed. Serial
// timeouts stay real.
class CommandLineUpdate {
 public:
  CommandLineUpdate(const std::string& port, int maxRepeats, const AttemptLog& log, std::ostream& out,
                    std::ostream& err)
      : port_(port),
        console_(out, err, true, false, 1),
        output_(console_, 0, port, false,
                [this](std::chrono::milliseconds pause) { pauseEnds_ = Clock::now() + pause; }),
        session_(output_, setup(maxRepeats, log)) {}

  // Until the update has ended; its exit status.
  int run(const CancelToken& cancel) {
    RunRequest request;
    request.port = port_;
    request.cancel = cancel;
    request.sleeper = std::make_shared<NoPauses>();
    session_.start(std::move(request));
    while (session_.running()) {
      if (auto event = queue_->take(pauseEnds_)) session_.handleEvent(*event);
      if (pauseEnds_ && *pauseEnds_ <= Clock::now()) {
        pauseEnds_.reset();
        session_.pauseOver();
      }
    }
    const int status = session_.outcome() ? cli::exitStatusFor(*session_.outcome()) : 1;
    output_.finished(status);
    return status;
  }

 private:
  session::SessionSetup setup(int maxRepeats, const AttemptLog& log) {
    session::SessionSetup s;
    s.sink = queue_;
    s.workers = log.factory();
    s.repeatPause = 0ms;
    s.maxRepeats = maxRepeats;
    return s;
  }

  std::string port_;
  std::shared_ptr<EventQueue> queue_ = std::make_shared<EventQueue>();
  std::optional<Clock::time_point> pauseEnds_;
  cli::Console console_;
  cli::PortOutput output_;
  session::UpdateSession session_;
};

// Runs the update on its own thread so that a hang can be seen, wherever it
// is. On a hang the update is cancelled; if even that does not end it,
// nothing more can be trusted and the campaign stops here.
class Watchdog {
 public:
  bool run(const std::function<int()>& update, const CancelToken& cancel, std::chrono::seconds limit, int& status) {
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
    const CancelToken cancel;
    int status = -1;
    Watchdog watchdog;
    const auto update = [&] {
      return CommandLineUpdate(logger.devicePath(), options.maxRepeats, log, out, err).run(cancel);
    };
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
