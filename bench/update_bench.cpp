// Full updates of a built-in image against the in-process simulated logger,
// run on this thread exactly as a run's thread runs them (execute() in place).
//
//   update_bench wire --image 12 --scale 10 --runs 3
//     The simulator paces every character as a 9600-baud line would (the
//     clock sped up by --scale). Figure: update time ÷ wire-time limit, where
//     the limit is every byte exchanged in both directions at 10 bits each
//     plus the protocol's fixed pauses as this run slept them.
//
//   update_bench overhead --image 12 --runs 5
//     The simulator answers at once. Figure: the update thread's own CPU
//     time (user + system, getrusage RUSAGE_THREAD) per exchange; the
//     simulator's share is the rest of the process's CPU time.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "engine/events.h"
#include "engine/logger_update.h"
#include "engine/run_request.h"
#include "images/catalogue.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"

namespace zorvik::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kBitsPerChar = 10.0;  // 8N1
constexpr double kBaud = 9600.0;

// Sleeps as asked (or not at all) and adds up what was asked: the pauses the
// limit allows are the ones this run really requested, retries included.
class CountingSleeper final : public link::Sleeper {
 public:
  explicit CountingSleeper(bool really) : really_(really) {}
  void sleepMs(int ms) override {
    totalMs_ += ms;
    ++count_;
    if (really_) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  long long totalMs() const { return totalMs_; }
  int count() const { return count_; }

 private:
  bool really_;
  long long totalMs_ = 0;
  int count_ = 0;
};

// Keeps the moment and content of the final event, and the image the run
// chose: the last candidate it checked before programming.
class FinalEventSink final : public engine::EventSink {
 public:
  void post(engine::RunEvent event) noexcept override {
    if (event.code == engine::kEvCandidate && !done_) candidate_ = event.value;
    if (!engine::isFinalEvent(event.code) || done_) return;
    at_ = Clock::now();
    code_ = event.code;
    value_ = event.value;
    done_ = true;
  }
  bool done() const { return done_; }
  Clock::time_point at() const { return at_; }
  std::uint32_t code() const { return code_; }
  std::int32_t value() const { return value_; }
  int chosenImage() const { return candidate_; }

 private:
  std::atomic<bool> done_{false};
  Clock::time_point at_{};
  std::uint32_t code_ = 0;
  std::int32_t value_ = 0;
  int candidate_ = -1;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double cpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// Times this thread gave up the processor to wait: its wake-ups.
long waits() {
  rusage u{};
  ::getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw;
}

struct RunResult {
  double wallS = 0;         // worker start to final event
  double threadCpuS = 0;    // the update thread (this thread)
  double processCpuS = 0;   // the whole process: update thread + simulator
  long threadWaits = 0;     // voluntary context switches of the update thread
  long long pausesMs = 0;
  int pauses = 0;
  std::uint64_t bytes = 0;  // both directions
  std::size_t exchanges = 0;
  std::size_t dataLines = 0;
  int image = -1;
};

std::optional<RunResult> runOnce(int image, bool wireTiming, double scale) {
  sim::LoggerConfig config = sim::loggerFor(image);
  config.wireTiming = wireTiming;
  config.clockScale = scale;
  sim::SimulatedLogger logger(config);
  if (!logger.start()) {
    std::fprintf(stderr, "update_bench: no pseudo-terminal available\n");
    return std::nullopt;
  }
  auto sink = std::make_shared<FinalEventSink>();
  // Fixed pauses are real at 9600 baud; for the overhead figure they are
  // skipped, they only lengthen the run.
  auto sleeper = std::make_shared<CountingSleeper>(wireTiming);
  engine::RunRequest request;
  request.port = logger.devicePath();
  request.sleeper = sleeper;
  RunResult r;
  const double threadCpu0 = cpuSeconds(RUSAGE_THREAD);
  const double processCpu0 = cpuSeconds(RUSAGE_SELF);
  const long waits0 = waits();
  const auto start = Clock::now();
  {
    engine::LoggerUpdate worker(std::move(request), sink);
    worker.execute();
  }
  r.threadCpuS = cpuSeconds(RUSAGE_THREAD) - threadCpu0;
  r.processCpuS = cpuSeconds(RUSAGE_SELF) - processCpu0;
  r.threadWaits = waits() - waits0;
  if (!sink->done() || sink->code() != engine::kEvSuccess) {
    std::fprintf(stderr, "update_bench: image %d run ended with event %u value %d\n", image,
                 sink->done() ? sink->code() : 999u, sink->value());
    return std::nullopt;
  }
  r.wallS = std::chrono::duration<double>(sink->at() - start).count();
  r.pausesMs = sleeper->totalMs();
  r.pauses = sleeper->count();
  r.bytes = logger.bytesReceived() + logger.bytesSent();
  const auto requests = logger.requests();
  r.exchanges = requests.size();
  for (const auto kind : requests) r.dataLines += kind == sim::Request::DataLine ? 1 : 0;
  r.image = sink->chosenImage();
  logger.stop();
  return r;
}

struct Args {
  std::string mode;
  int image = 12;
  double scale = 1.0;
  int runs = 3;
};

std::optional<Args> parse(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  Args a;
  a.mode = argv[1];
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--image") {
      a.image = std::atoi(value);
    } else if (name == "--scale") {
      a.scale = std::atof(value);
    } else if (name == "--runs") {
      a.runs = std::atoi(value);
    } else {
      return std::nullopt;
    }
  }
  if ((a.mode != "wire" && a.mode != "overhead") || a.runs < 1 || a.scale <= 0 || a.image < 1 ||
      a.image > images::kBuiltInImageCount) {
    return std::nullopt;
  }
  return a;
}

std::string scaleName(double scale) { return "×" + format(scale, scale == static_cast<int>(scale) ? 0 : 1); }

int wire(const Args& a) {
  std::vector<double> total, transfer, predicted, wall, hostCpuPerLine;
  for (int run = 1; run <= a.runs; ++run) {
    const auto r = runOnce(a.image, true, a.scale);
    if (!r) return 1;
    const double wireS = static_cast<double>(r->bytes) * kBitsPerChar / kBaud / a.scale;
    const double pausesS = static_cast<double>(r->pausesMs) / 1000.0;
    const double limitS = wireS + pausesS;
    const double excessS = r->wallS - limitS;
    // At ×1 the bytes take `scale` times longer; the pauses and the host's own
    // excess stay what they are.
    const double limitAt1 = wireS * a.scale + pausesS;
    total.push_back(r->wallS / limitS);
    transfer.push_back((r->wallS - pausesS) / wireS);
    predicted.push_back((limitAt1 + excessS) / limitAt1);
    wall.push_back(r->wallS);
    hostCpuPerLine.push_back(r->threadCpuS * 1000.0 / static_cast<double>(r->exchanges));
    std::printf("# run %d: image %d, %s: %.3f s, limit %.3f s (bytes %llu = %.3f s on the wire, pauses %lld ms in %d sleeps), "
                "excess %.1f ms, exchanges %zu (data lines %zu), update-thread CPU %.3f s, %ld waits\n",
                run, r->image, scaleName(a.scale).c_str(), r->wallS, limitS, static_cast<unsigned long long>(r->bytes),
                wireS, r->pausesMs, r->pauses, excessS * 1000.0, r->exchanges, r->dataLines, r->threadCpuS,
                r->threadWaits);
  }
  const std::string what = "image " + std::to_string(a.image) + ", clock " + scaleName(a.scale);
  const Target ratioTarget{Goal::AtMost, 1.002, "≤ 1.002"};
  const bool real = a.scale == 1.0;
  printRow("Update time, " + what, summarize(wall), "s", 2, {});
  printRow("Wire efficiency, " + what + ": time ÷ limit", summarize(total), "", 4,
           real ? ratioTarget : Target{Goal::None, 0, "(≤ 1.002 at ×1)"});
  printRow("Wire efficiency, " + what + ": transfer part (time − pauses) ÷ wire time", summarize(transfer), "", 4,
           {});
  if (!real) {
    printRow("Wire efficiency, " + what + ": predicted at ×1", summarize(predicted), "", 4, ratioTarget);
  }
  printRow("Update-thread CPU per exchange, " + what, summarize(hostCpuPerLine), "ms", 3, {});
  return 0;
}

int overhead(const Args& a) {
  std::vector<double> roundTrip, host, simulator, roundTripLessSim;
  for (int run = 1; run <= a.runs; ++run) {
    const auto r = runOnce(a.image, false, 1.0);
    if (!r) return 1;
    const double n = static_cast<double>(r->exchanges);
    const double simCpuS = r->processCpuS - r->threadCpuS;
    roundTrip.push_back(r->wallS * 1000.0 / n);
    host.push_back(r->threadCpuS * 1000.0 / n);
    simulator.push_back(simCpuS * 1000.0 / n);
    roundTripLessSim.push_back((r->wallS - simCpuS) * 1000.0 / n);
    std::printf("# run %d: image %d unthrottled: %.3f s for %zu exchanges (data lines %zu); update thread CPU %.3f s, "
                "simulator thread CPU %.3f s\n",
                run, r->image, r->wallS, r->exchanges, r->dataLines, r->threadCpuS, simCpuS);
  }
  const std::string what = "image " + std::to_string(a.image) + ", unthrottled";
  printRow("Round trip per exchange, " + what, summarize(roundTrip), "ms", 4, {});
  printRow("Host CPU per exchange (update thread user+sys), " + what, summarize(host), "ms", 4,
           {Goal::Below, 0.3, "< 0.3 ms"});
  printRow("Round trip − simulator CPU per exchange, " + what, summarize(roundTripLessSim), "ms", 4,
           {Goal::Below, 0.3, "< 0.3 ms"});
  printRow("Simulator CPU per exchange, " + what, summarize(simulator), "ms", 4, {});
  return 0;
}

}  // namespace
}  // namespace zorvik::bench

int main(int argc, char** argv) {
  const auto args = zorvik::bench::parse(argc, argv);
  if (!args) {
    std::fprintf(stderr,
                 "usage: update_bench wire --image N --scale X --runs R\n"
                 "       update_bench overhead --image N --runs R\n");
    return 2;
  }
  return args->mode == "wire" ? zorvik::bench::wire(*args) : zorvik::bench::overhead(*args);
}
