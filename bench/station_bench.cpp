// Several loggers updated at once by one command-line process, and a station
// with nothing plugged in.
//
//   station_bench ports --cli CLI --loggers 1,2,4,8 --scale X --runs R [--image N]
//     For each count N: N simulated loggers in this process (wire timing,
//     clock ×X, each on its own pseudo-terminal), then one child
//     `CLI --json --yes --history-db TMP --port P1 ... --port PN`. Each
//     logger's time runs from its port's first "start" line to its final
//     event line (time-stamped as they arrive here); its limit is every byte
//     its simulator received and sent at 10 bits per character and 9600 baud
//     (÷ X) plus the update's fixed pauses — the definition of update_bench.
//     The child's CPU time (user + system) and peak RSS come from wait4.
//
//   station_bench idle --cli CLI --seconds S [--runs R]
//     `CLI --station --watch-dir EMPTY --json --history-db TMP`, left alone
//     for S seconds after it has started: its CPU time in that window (the
//     process's CPU clock, nanoseconds) and its threads' wake-ups.
#include <dirent.h>
#include <time.h>

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/child_process.h"
#include "images/catalogue.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"

namespace zorvik::bench {
namespace {

constexpr double kBitsPerChar = 10.0;  // 8N1
constexpr double kBaud = 9600.0;
// The fixed pauses of one update that needs no repeat (wake-up 100 + 100 ms,
// 1 ms after the bootloader entry frame, 500 + 2000 ms around the end
// record), as update_bench's counting sleeper finds them for every image.
// They are real time whatever the simulator's clock.
constexpr double kFixedPausesS = 2.701;
// The targets the figures are judged against.
constexpr double kRatioTarget = 1.002;
constexpr int kRatioTargetFromLoggers = 4;
constexpr double kCpuSharePerLoggerTarget = 0.2;   // % of wall time
constexpr double kRssGrowthTargetMb = 1.0;         // per extra logger
constexpr double kIdleCpuShareTarget = 0.01;       // % of wall time

std::string scaleName(double scale) { return "×" + format(scale, scale == static_cast<int>(scale) ? 0 : 1); }

// A scratch folder for the update history (and the idle station's empty link
// folder), so that the benchmark never writes into the user's own history.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "station_bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The value of "name":"..." in one JSON line of the updater (its strings
// here are port paths and fixed words: no escapes to undo).
std::optional<std::string> stringField(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const auto at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  const auto begin = at + key.size();
  const auto end = line.find('"', begin);
  if (end == std::string::npos) return std::nullopt;
  return line.substr(begin, end - begin);
}

std::optional<long> numberField(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const auto at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  return std::strtol(line.c_str() + at + key.size(), nullptr, 10);
}

// Reads a child's standard output line by line, each line stamped with the
// moment it arrived here.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  struct Line {
    std::string text;
    Clock::time_point at;
  };
  // Lines that arrived within `timeoutMs`; empty with ended() once the output has closed.
  std::vector<Line> next(int timeoutMs) {
    std::vector<Line> lines;
    pollfd p{fd_, POLLIN, 0};
    const int n = ::poll(&p, 1, timeoutMs);
    if (n <= 0) return lines;
    char buffer[8192];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    const auto at = Clock::now();
    if (got <= 0) {
      ended_ = true;
      return lines;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (auto nl = pending_.find('\n'); nl != std::string::npos; nl = pending_.find('\n', start)) {
      lines.push_back({pending_.substr(start, nl - start), at});
      start = nl + 1;
    }
    pending_.erase(0, start);
    return lines;
  }
  bool ended() const { return ended_; }

 private:
  int fd_;
  std::string pending_;
  bool ended_ = false;
};

std::string tail(const std::filesystem::path& file, std::size_t maxChars = 2000) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > maxChars ? all.substr(all.size() - maxChars) : all;
}

// ---- Several ports at once ----------------------------------------------------

// What one port's JSON lines said.
struct PortTrace {
  std::optional<Clock::time_point> firstStart;
  std::optional<Clock::time_point> finalEvent;
  long finalCode = -1;
  int attempts = 0;
  long chosenImage = -1;
  bool programming = false;
};

struct LoggerResult {
  double timeS = 0;
  double limitS = 0;
  double ratio = 0;
  double predictedAt1 = 0;
  std::uint64_t bytes = 0;
  std::size_t exchanges = 0;
};

struct PortsRun {
  double wallS = 0;
  double userS = 0;
  double sysS = 0;
  double rssMb = 0;
  double sampledRssMb = 0;
  long switches = 0;
  double simulatorCpuS = 0;
  std::vector<LoggerResult> loggers;
};

struct PortsArgs {
  std::string cli;
  std::vector<int> loggers;
  double scale = 1;
  int runs = 1;
  int image = 1;
};

// A field of /proc/PID/status in kB ("VmRSS"), as megabytes.
std::optional<double> statusMb(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
  }
  return std::nullopt;
}

double processCpuS() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

std::optional<PortsRun> runPorts(const PortsArgs& a, int count, int run) {
  ScratchDir scratch;
  if (!scratch.ok()) {
    std::fprintf(stderr, "station_bench: no scratch folder\n");
    return std::nullopt;
  }
  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
  for (int i = 0; i < count; ++i) {
    sim::LoggerConfig config = sim::loggerFor(a.image);
    config.wireTiming = true;
    config.clockScale = a.scale;
    loggers.push_back(std::make_unique<sim::SimulatedLogger>(config));
    if (!loggers.back()->start()) {
      std::fprintf(stderr, "station_bench: no pseudo-terminal available\n");
      return std::nullopt;
    }
  }
  std::vector<std::string> command{a.cli, "--json", "--yes", "--history-db", (scratch.path() / "history.sqlite").string()};
  for (const auto& logger : loggers) {
    command.push_back("--port");
    command.push_back(logger->devicePath());
  }
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  const auto errFile = scratch.path() / "stderr.txt";
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

  const double simCpu0 = processCpuS();
  const auto start = Clock::now();
  const Child child = spawn(command, {}, out[1], err);
  ::close(out[1]);
  if (err >= 0) ::close(err);

  std::vector<PortTrace> traces(static_cast<std::size_t>(count));
  auto traceOf = [&](const std::string& line) -> PortTrace* {
    const auto port = stringField(line, "port");
    if (!port) return count == 1 ? &traces[0] : nullptr;  // one port: its lines name no port
    for (std::size_t i = 0; i < loggers.size(); ++i) {
      if (loggers[i]->devicePath() == *port) return &traces[i];
    }
    return nullptr;
  };
  // Far beyond an honest update: the wire time of the largest image twice over.
  const auto deadline = start + std::chrono::seconds(static_cast<int>(600.0 / a.scale + 120.0));
  LineReader reader(out[0]);
  // Resident memory while the updates run, sampled twice a second: the peak
  // from wait4 may be set during start-up rather than by the runs.
  double sampledRssMb = 0;
  auto nextSample = start;
  while (!reader.ended() && Clock::now() < deadline) {
    if (Clock::now() >= nextSample) {
      sampledRssMb = std::max(sampledRssMb, statusMb(child.pid, "VmRSS").value_or(0));
      nextSample += std::chrono::milliseconds(500);
    }
    for (const auto& line : reader.next(500)) {
      PortTrace* trace = traceOf(line.text);
      if (trace == nullptr) continue;
      const auto type = stringField(line.text, "type");
      if (type == "start") {
        ++trace->attempts;
        if (!trace->firstStart) trace->firstStart = line.at;
      } else if (type == "event") {
        const long code = numberField(line.text, "code").value_or(-1);
        if (code == 27 && !trace->programming) trace->chosenImage = numberField(line.text, "value").value_or(-1);
        if (code == 26) trace->programming = true;
        if (line.text.find("\"final\":true") != std::string::npos) {
          trace->finalEvent = line.at;
          trace->finalCode = code;
        }
      }
    }
  }
  ::close(out[0]);
  const Ended end = waitFor(child, reader.ended() ? 30.0 : 1.0);
  const double simCpuS = processCpuS() - simCpu0;
  for (auto& logger : loggers) logger->stop();

  if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0) {
    std::fprintf(stderr, "station_bench: %d loggers: the updater ended with status %d; its errors:\n%s\n", count,
                 end.status, tail(errFile).c_str());
    return std::nullopt;
  }
  PortsRun r;
  r.wallS = since(start, end.at);
  r.userS = seconds(end.usage.ru_utime);
  r.sysS = seconds(end.usage.ru_stime);
  r.rssMb = megabytes(end.usage.ru_maxrss);
  r.sampledRssMb = sampledRssMb;
  r.switches = end.usage.ru_nvcsw + end.usage.ru_nivcsw;
  r.simulatorCpuS = simCpuS;
  std::string perLogger;
  for (std::size_t i = 0; i < loggers.size(); ++i) {
    const PortTrace& t = traces[i];
    const sim::SimulatedLogger& logger = *loggers[i];
    if (!t.firstStart || !t.finalEvent || t.finalCode != 0 || logger.restarts() != 1) {
      std::fprintf(stderr, "station_bench: logger %zu of %d: no complete update (final event %ld, restarts %d)\n",
                   i + 1, count, t.finalCode, logger.restarts());
      return std::nullopt;
    }
    if (t.chosenImage != a.image) {
      std::fprintf(stderr, "station_bench: logger %zu of %d got image %ld, not %d\n", i + 1, count, t.chosenImage,
                   a.image);
      return std::nullopt;
    }
    LoggerResult l;
    l.timeS = since(*t.firstStart, *t.finalEvent);
    l.bytes = logger.bytesReceived() + logger.bytesSent();
    l.exchanges = logger.requests().size();
    const double wireS = static_cast<double>(l.bytes) * kBitsPerChar / kBaud / a.scale;
    // A repeat would add pauses this limit does not allow for: such a run
    // shows up as a worse ratio, and its attempts are logged.
    l.limitS = wireS + kFixedPausesS;
    l.ratio = l.timeS / l.limitS;
    const double limitAt1 = wireS * a.scale + kFixedPausesS;
    l.predictedAt1 = (limitAt1 + l.timeS - l.limitS) / limitAt1;
    r.loggers.push_back(l);
    perLogger += "\n#   logger " + std::to_string(i + 1) + ": " + format(l.timeS, 3) + " s, limit " +
                 format(l.limitS, 3) + " s (" + std::to_string(l.bytes) + " bytes, " + std::to_string(l.exchanges) +
                 " exchanges), ratio " + format(l.ratio, 5) + ", excess " + format((l.timeS - l.limitS) * 1000.0, 1) +
                 " ms, attempts " + std::to_string(t.attempts);
  }
  std::printf("# run %d: %d logger%s, image %d, clock %s: wall %.2f s, user %.3f s, sys %.3f s, peak RSS %.1f MB "
              "(highest VmRSS sample while running %.1f MB), context switches %ld; simulators' CPU %.3f s%s\n",
              run, count, count == 1 ? "" : "s", a.image, scaleName(a.scale).c_str(), r.wallS, r.userS, r.sysS,
              r.rssMb, r.sampledRssMb, r.switches, r.simulatorCpuS, perLogger.c_str());
  std::fflush(stdout);
  return r;
}

int ports(const PortsArgs& a) {
  struct Collected {
    int count;
    std::vector<double> slowest, worstRatio, worstPredicted, cpu, sharePerLogger, rss;
  };
  std::vector<Collected> all;
  for (const int count : a.loggers) {
    Collected c{count, {}, {}, {}, {}, {}, {}};
    for (int run = 1; run <= a.runs; ++run) {
      const auto r = runPorts(a, count, run);
      if (!r) return 1;
      double slowest = 0, worst = 0, worstPredicted = 0;
      for (const auto& l : r->loggers) {
        slowest = std::max(slowest, l.timeS);
        worst = std::max(worst, l.ratio);
        worstPredicted = std::max(worstPredicted, l.predictedAt1);
      }
      c.slowest.push_back(slowest);
      c.worstRatio.push_back(worst);
      c.worstPredicted.push_back(worstPredicted);
      c.cpu.push_back(r->userS + r->sysS);
      c.sharePerLogger.push_back((r->userS + r->sysS) / r->wallS * 100.0 / count);
      c.rss.push_back(r->rssMb);
    }
    all.push_back(std::move(c));
  }
  const bool real = a.scale == 1.0;
  const Collected* one = nullptr;
  for (const auto& c : all) {
    if (c.count == 1) one = &c;
  }
  for (const auto& c : all) {
    const std::string what = std::to_string(c.count) + (c.count == 1 ? " logger" : " loggers at once") + " (image " +
                             std::to_string(a.image) + "), clock " + scaleName(a.scale);
    const bool ratioCounts = c.count >= kRatioTargetFromLoggers;
    const Target ratioTarget = ratioCounts ? Target{Goal::AtMost, kRatioTarget, "≤ " + format(kRatioTarget, 3)}
                                           : Target{Goal::None, 0, "(≤ " + format(kRatioTarget, 3) + " from 4 loggers)"};
    printRow(what + ": update time, slowest logger", summarize(c.slowest), "s", 2, {});
    if (real) {
      printRow(what + ": time ÷ own wire limit, worst logger", summarize(c.worstRatio), "", 4, ratioTarget);
    } else {
      printRow(what + ": time ÷ own wire limit, worst logger", summarize(c.worstRatio), "", 4,
               {Goal::None, 0, "(≤ " + format(kRatioTarget, 3) + " at ×1)"});
      printRow(what + ": time ÷ limit predicted at ×1, worst logger", summarize(c.worstPredicted), "", 4,
               ratioTarget);
    }
    printRow(what + ": CPU time (user+sys)", summarize(c.cpu), "s", 3, {});
    const Target cpuTarget{Goal::AtMost, kCpuSharePerLoggerTarget, "≤ " + format(kCpuSharePerLoggerTarget, 1) + " %"};
    printRow(what + ": CPU share of wall time per logger", summarize(c.sharePerLogger), "%", 3,
             real ? cpuTarget : Target{Goal::None, 0, "(≤ " + format(kCpuSharePerLoggerTarget, 1) + " % at ×1)"});
    printRow(what + ": peak RSS", summarize(c.rss), "MB", 1, {});
    if (one != nullptr && c.count > 1) {
      // Against the median of the single logger's runs: the spread shows this
      // count's own runs.
      const double base = summarize(one->rss).median;
      std::vector<double> growth;
      for (const double rss : c.rss) growth.push_back((rss - base) / (c.count - 1));
      printRow(what + ": peak RSS growth per extra logger (vs 1 logger)", summarize(growth), "MB", 2,
               {Goal::AtMost, kRssGrowthTargetMb, "≤ " + format(kRssGrowthTargetMb, 0) + " MB"});
    }
  }
  return 0;
}

// ---- Idle station -------------------------------------------------------------

struct ThreadsState {
  long switches = 0;            // voluntary + involuntary, all threads
  std::vector<std::string> in;  // what each thread waits in
};

std::string syscallName(long number) {
  switch (number) {
#ifdef SYS_poll
    case SYS_poll: return "poll";
#endif
#ifdef SYS_ppoll
    case SYS_ppoll: return "ppoll";
#endif
#ifdef SYS_futex
    case SYS_futex: return "futex";
#endif
#ifdef SYS_read
    case SYS_read: return "read";
#endif
#ifdef SYS_clock_nanosleep
    case SYS_clock_nanosleep: return "clock_nanosleep";
#endif
#ifdef SYS_epoll_wait
    case SYS_epoll_wait: return "epoll_wait";
#endif
    default: return "syscall " + std::to_string(number);
  }
}

ThreadsState threadsOf(pid_t pid) {
  ThreadsState s;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        s.switches += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
      }
    }
    std::ifstream call(task.path() / "syscall");
    std::string first;
    call >> first;
    s.in.push_back(first.empty() || first == "running" ? (first.empty() ? "?" : first)
                                                     : syscallName(std::strtol(first.c_str(), nullptr, 10)));
  }
  return s;
}

// The whole process's CPU time (every thread), to the nanosecond.
std::optional<double> processCpuS(pid_t pid) {
  clockid_t clock{};
  timespec t{};
  if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &t) != 0) return std::nullopt;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct IdleArgs {
  std::string cli;
  double seconds = 30;
  int runs = 1;
};

struct IdleRun {
  double cpuS = 0;
  double windowS = 0;
  long switches = 0;
  double rssMb = 0;
};

std::optional<IdleRun> runIdle(const IdleArgs& a, int run) {
  ScratchDir scratch;
  const auto links = scratch.path() / "links";
  std::error_code ec;
  if (!scratch.ok() || !std::filesystem::create_directory(links, ec)) {
    std::fprintf(stderr, "station_bench: no scratch folder\n");
    return std::nullopt;
  }
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  const auto errFile = scratch.path() / "stderr.txt";
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const Child child = spawn({a.cli, "--station", "--watch-dir", links.string(), "--json", "--history-db",
                             (scratch.path() / "history.sqlite").string()},
                            {}, out[1], err);
  ::close(out[1]);
  if (err >= 0) ::close(err);
  LineReader reader(out[0]);
  auto fail = [&](const char* what) -> std::optional<IdleRun> {
    std::fprintf(stderr, "station_bench: idle station: %s; its errors:\n%s\n", what, tail(errFile).c_str());
    ::kill(child.pid, SIGKILL);
    ::close(out[0]);
    waitFor(child);
    return std::nullopt;
  };

  // Started once it has announced itself; a second later its start-up work
  // (loading, the history file, the first look at the folder) is over.
  bool announced = false;
  const auto startDeadline = Clock::now() + std::chrono::seconds(10);
  while (!announced && !reader.ended() && Clock::now() < startDeadline) {
    for (const auto& line : reader.next(200)) announced = announced || stringField(line.text, "type") == "station";
  }
  if (!announced) return fail("it did not announce itself");
  std::this_thread::sleep_for(std::chrono::seconds(1));

  const auto cpu0 = processCpuS(child.pid);
  const ThreadsState before = threadsOf(child.pid);
  const auto t0 = Clock::now();
  // Waiting on its output meanwhile: an idle station has nothing to say.
  std::size_t linesWhileIdle = 0;
  const auto windowEnd = t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(a.seconds));
  while (!reader.ended()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(windowEnd - Clock::now()).count();
    if (left <= 0) break;
    linesWhileIdle += reader.next(static_cast<int>(left)).size();
  }
  const auto cpu1 = processCpuS(child.pid);
  const ThreadsState after = threadsOf(child.pid);
  const auto t1 = Clock::now();
  if (reader.ended() || !cpu0 || !cpu1) return fail("it ended by itself, or its CPU clock cannot be read");

  ::kill(child.pid, SIGINT);
  bool finalCounters = false;
  while (!reader.ended()) {
    for (const auto& line : reader.next(10000)) {
      finalCounters = finalCounters || (stringField(line.text, "type") == "counters" &&
                                        line.text.find("\"final\":true") != std::string::npos);
    }
  }
  ::close(out[0]);
  const Ended end = waitFor(child, 10.0);
  if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0 || !finalCounters) {
    std::fprintf(stderr, "station_bench: idle station: stopped with status %d, final counters %s; its errors:\n%s\n",
                 end.status, finalCounters ? "shown" : "missing", tail(errFile).c_str());
    return std::nullopt;
  }
  IdleRun r;
  r.cpuS = *cpu1 - *cpu0;
  r.windowS = since(t0, t1);
  r.switches = after.switches - before.switches;
  r.rssMb = megabytes(end.usage.ru_maxrss);
  std::string waits;
  for (const auto& w : after.in) waits += (waits.empty() ? "" : ", ") + w;
  std::printf("# run %d: idle station for %.3f s: CPU %.6f s (%.5f %%), context switches %ld, output lines %zu; "
              "%zu threads, waiting in: %s; whole life: user %.3f s, sys %.3f s, peak RSS %.1f MB\n",
              run, r.windowS, r.cpuS, r.cpuS / r.windowS * 100.0, r.switches, linesWhileIdle, after.in.size(),
              waits.c_str(), seconds(end.usage.ru_utime), seconds(end.usage.ru_stime), r.rssMb);
  std::fflush(stdout);
  return r;
}

int idle(const IdleArgs& a) {
  std::vector<double> cpuMs, share, wakeups, rss;
  for (int run = 1; run <= a.runs; ++run) {
    const auto r = runIdle(a, run);
    if (!r) return 1;
    cpuMs.push_back(r->cpuS * 1000.0);
    share.push_back(r->cpuS / r->windowS * 100.0);
    wakeups.push_back(static_cast<double>(r->switches) / r->windowS);
    rss.push_back(r->rssMb);
  }
  const std::string what = "Idle station (no logger), " + format(a.seconds, 0) + " s";
  printRow(what + ": CPU time (user+sys)", summarize(cpuMs), "ms", 3, {});
  printRow(what + ": CPU share of wall time", summarize(share), "%", 5,
           {Goal::Below, kIdleCpuShareTarget, "< " + format(kIdleCpuShareTarget, 2) + " %"});
  printRow(what + ": context switches per second, all threads", summarize(wakeups), "/s", 2, {});
  printRow(what + ": peak RSS", summarize(rss), "MB", 1, {});
  return 0;
}

// ---- Arguments ----------------------------------------------------------------

std::optional<std::vector<int>> parseCounts(const std::string& text) {
  std::vector<int> counts;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const int n = std::atoi(item.c_str());
    if (n < 1 || n > 64) return std::nullopt;
    counts.push_back(n);
  }
  if (counts.empty()) return std::nullopt;
  return counts;
}

std::optional<PortsArgs> parsePorts(int argc, char** argv) {
  PortsArgs a;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--cli") {
      a.cli = value;
    } else if (name == "--loggers") {
      const auto counts = parseCounts(value);
      if (!counts) return std::nullopt;
      a.loggers = *counts;
    } else if (name == "--scale") {
      a.scale = std::atof(value.c_str());
    } else if (name == "--runs") {
      a.runs = std::atoi(value.c_str());
    } else if (name == "--image") {
      a.image = std::atoi(value.c_str());
    } else {
      return std::nullopt;
    }
  }
  if (argc % 2 != 0 || a.cli.empty() || a.loggers.empty() || a.scale <= 0 || a.runs < 1 || a.image < 1 ||
      a.image > images::kBuiltInImageCount) {
    return std::nullopt;
  }
  return a;
}

std::optional<IdleArgs> parseIdle(int argc, char** argv) {
  IdleArgs a;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--cli") a.cli = value;
    else if (name == "--seconds") a.seconds = std::atof(value.c_str());
    else if (name == "--runs") a.runs = std::atoi(value.c_str());
    else return std::nullopt;
  }
  if (argc % 2 != 0 || a.cli.empty() || a.seconds <= 0 || a.runs < 1) return std::nullopt;
  return a;
}

}  // namespace
}  // namespace zorvik::bench

int main(int argc, char** argv) {
  using namespace zorvik::bench;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ports") {
    if (const auto a = parsePorts(argc, argv)) return ports(*a);
  } else if (mode == "idle") {
    if (const auto a = parseIdle(argc, argv)) return idle(*a);
  }
  std::fprintf(stderr,
               "usage: station_bench ports --cli CLI --loggers N[,N...] [--scale X] [--runs R] [--image N]\n"
               "       station_bench idle --cli CLI [--seconds S] [--runs R]\n");
  return 2;
}
