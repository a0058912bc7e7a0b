// Measures programs as a person meets them: launched as child processes,
// timed from just before fork() and accounted with wait4().
//
//   process_bench startup --runs N [--env NAME=VALUE]... [--marker TEXT] -- PROGRAM ARGS...
//     Time from launch to the program's first output on a terminal (a
//     pseudo-terminal stands in for it, so the output is buffered as it would
//     be for a person), or to the first output line containing TEXT.
//
//   process_bench update --sim SIM --scale X --runs N -- PROGRAM ARGS...
//     Starts the simulated logger (wire timing, clock ×X), then a whole
//     update by the program ("{port}" in its arguments and --env values
//     stands for the simulator's device); reports the program's wall time,
//     CPU time (user + system), CPU share and peak resident memory.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/child_process.h"

namespace zorvik::bench {
namespace {

// The fixed pauses of one update (wake-up, bootloader entry, around the end
// record): real time whatever the simulator's clock.
constexpr double kFixedPausesS = 2.701;

// A pseudo-terminal whose slave side becomes the child's output.
struct Terminal {
  int master = -1;
  int slave = -1;
  bool open() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const char* name = ::ptsname(master);
    slave = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    return slave >= 0;
  }
  void close() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    master = slave = -1;
  }
};

// Reads from fd until `marker` appears (empty: any byte) or the fd ends;
// returns the moment it was seen.
std::optional<Clock::time_point> waitForOutput(int fd, const std::string& marker, int timeoutMs) {
  std::string seen;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    const auto at = Clock::now();
    if (marker.empty()) return at;
    seen.append(buffer, static_cast<std::size_t>(n));
    if (seen.find(marker) != std::string::npos) return at;
  }
}

// Keeps reading so the child never blocks on a full terminal, until it exits;
// one that is still running after 20 s is killed.
void drainUntilExit(int fd, pid_t pid) {
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  for (;;) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      return;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) {
      char buffer[4096];
      if (::read(fd, buffer, sizeof buffer) <= 0) return;
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG | WNOWAIT) != 0) return;
  }
}

struct StartupArgs {
  int runs = 5;
  std::vector<std::string> env;
  std::string marker;
  std::string label;
  std::vector<std::string> command;
  double targetMs = 0;
};

int startup(const StartupArgs& a) {
  std::vector<double> firstOutput, rss;
  for (int run = 1; run <= a.runs; ++run) {
    Terminal term;
    if (!term.open()) {
      std::fprintf(stderr, "process_bench: no pseudo-terminal available\n");
      return 1;
    }
    const auto start = Clock::now();
    const Child child = spawn(a.command, a.env, term.slave, -1);
    ::close(term.slave);
    term.slave = -1;
    const auto seen = waitForOutput(term.master, a.marker, 20000);
    drainUntilExit(term.master, child.pid);
    const Ended end = waitFor(child);
    term.close();
    if (!seen || !WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0) {
      std::fprintf(stderr, "process_bench: %s gave no output%s or failed (status %d)\n", a.command[0].c_str(),
                   a.marker.empty() ? "" : (" containing \"" + a.marker + "\"").c_str(), end.status);
      return 1;
    }
    firstOutput.push_back(since(start, *seen) * 1000.0);
    rss.push_back(megabytes(end.usage.ru_maxrss));
    std::printf("# run %d: %s: first output after %.2f ms, exit after %.2f ms, peak RSS %.1f MB\n", run,
                a.label.c_str(), firstOutput.back(), since(start, end.at) * 1000.0, rss.back());
  }
  printRow("Start-up: " + a.label, summarize(firstOutput), "ms", 1,
           a.targetMs > 0 ? Target{Goal::Below, a.targetMs, "< " + format(a.targetMs, 0) + " ms"} : Target{});
  return 0;
}

struct UpdateArgs {
  std::string sim;
  double scale = 10;
  int runs = 3;
  std::string label;
  double rssTargetMb = 0;
  std::vector<std::string> env;      // "{port}" stands for the simulator's device
  std::vector<std::string> command;  // likewise
};

// Starts the simulator and reads its first line, the pty path.
std::optional<std::string> startSimulator(const UpdateArgs& a, Child& sim) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  sim = spawn({a.sim, "--wire-timing", "--clock-scale", format(a.scale, 3)}, {}, pipeFds[1], -1);
  ::close(pipeFds[1]);
  std::string line;
  char c = 0;
  while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(pipeFds[0]);
  if (line.empty() || line.front() != '/') return std::nullopt;
  return line;
}

std::vector<std::string> withPort(std::vector<std::string> items, const std::string& port) {
  for (auto& item : items) {
    const auto at = item.find("{port}");
    if (at != std::string::npos) item.replace(at, 6, port);
  }
  return items;
}

// One whole update of image 12 by the program against a fresh simulator.
int update(const UpdateArgs& a) {
  std::vector<double> wall, cpu, share, shareAt1, rss;
  for (int run = 1; run <= a.runs; ++run) {
    Child sim;
    const auto port = startSimulator(a, sim);
    if (!port) {
      std::fprintf(stderr, "process_bench: the simulator did not start\n");
      return 1;
    }
    const auto start = Clock::now();
    const Child program = spawn(withPort(a.command, *port), withPort(a.env, *port), -1, -1);
    // Far beyond the slowest honest update (about four minutes at ×1).
    const Ended end = waitFor(program, 1200.0 / a.scale + 120.0);
    ::kill(sim.pid, SIGTERM);
    const Ended simEnd = waitFor(sim);
    if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0) {
      std::fprintf(stderr, "process_bench: %s: the update failed (status %d)\n", a.label.c_str(), end.status);
      return 1;
    }
    const double wallS = since(start, end.at);
    const double userS = seconds(end.usage.ru_utime);
    const double sysS = seconds(end.usage.ru_stime);
    // CPU per update hardly depends on the clock (one wake-up per character
    // either way); the wall time at ×1 is the transfer part times the scale.
    const double wallAt1 = (wallS - kFixedPausesS) * a.scale + kFixedPausesS;
    wall.push_back(wallS);
    cpu.push_back(userS + sysS);
    share.push_back((userS + sysS) / wallS * 100.0);
    shareAt1.push_back((userS + sysS) / wallAt1 * 100.0);
    rss.push_back(megabytes(end.usage.ru_maxrss));
    std::printf("# run %d: %s update at ×%s: wall %.2f s, user %.3f s, sys %.3f s, peak RSS %.1f MB, "
                "voluntary switches %ld; simulator user %.3f s sys %.3f s\n",
                run, a.label.c_str(), format(a.scale, 0).c_str(), wallS, userS, sysS, rss.back(), end.usage.ru_nvcsw,
                seconds(simEnd.usage.ru_utime), seconds(simEnd.usage.ru_stime));
  }
  const std::string what = a.label + " update (image 12), clock ×" + format(a.scale, 0);
  const Target cpuTarget{Goal::Below, 0.2, "< 0.2 %"};
  printRow(what + ": wall time", summarize(wall), "s", 2, {});
  printRow(what + ": CPU time (user+sys)", summarize(cpu), "s", 3, {});
  printRow(what + ": CPU share of wall time", summarize(share), "%", 3,
           a.scale == 1.0 ? cpuTarget : Target{Goal::None, 0, "(< 0.2 % at ×1)"});
  if (a.scale != 1.0) printRow(what + ": CPU share extrapolated to ×1", summarize(shareAt1), "%", 3, cpuTarget);
  printRow(what + ": peak RSS", summarize(rss), "MB", 1,
           a.rssTargetMb > 0 ? Target{Goal::Below, a.rssTargetMb, "< " + format(a.rssTargetMb, 0) + " MB"}
                             : Target{});
  return 0;
}

std::optional<StartupArgs> parseStartup(int argc, char** argv) {
  StartupArgs a;
  int i = 2;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (name == "--runs") a.runs = std::atoi(value.c_str());
    else if (name == "--env") a.env.push_back(value);
    else if (name == "--marker") a.marker = value;
    else if (name == "--label") a.label = value;
    else if (name == "--target-ms") a.targetMs = std::atof(value.c_str());
    else return std::nullopt;
  }
  for (++i; i < argc; ++i) a.command.emplace_back(argv[i]);
  if (a.command.empty() || a.runs < 1) return std::nullopt;
  if (a.label.empty()) a.label = a.command.front();
  return a;
}

std::optional<UpdateArgs> parseUpdate(int argc, char** argv) {
  UpdateArgs a;
  int i = 2;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (name == "--sim") a.sim = value;
    else if (name == "--scale") a.scale = std::atof(value.c_str());
    else if (name == "--runs") a.runs = std::atoi(value.c_str());
    else if (name == "--label") a.label = value;
    else if (name == "--env") a.env.push_back(value);
    else if (name == "--rss-target-mb") a.rssTargetMb = std::atof(value.c_str());
    else return std::nullopt;
  }
  for (++i; i < argc; ++i) a.command.emplace_back(argv[i]);
  if (a.sim.empty() || a.command.empty() || a.scale <= 0 || a.runs < 1) return std::nullopt;
  if (a.label.empty()) a.label = a.command.front();
  return a;
}

}  // namespace
}  // namespace zorvik::bench

int main(int argc, char** argv) {
  using namespace zorvik::bench;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "startup") {
    if (const auto a = parseStartup(argc, argv)) return startup(*a);
  } else if (mode == "update") {
    if (const auto a = parseUpdate(argc, argv)) return update(*a);
  }
  std::fprintf(stderr,
               "usage: process_bench startup [--runs N] [--env NAME=VALUE]... [--marker TEXT] [--label TEXT]\n"
               "                             [--target-ms MS] -- PROGRAM ARGS...\n"
               "       process_bench update --sim SIM [--scale X] [--runs N] [--label TEXT] [--env NAME=VALUE]...\n"
               "                            [--rss-target-mb MB] -- PROGRAM ARGS...   ({port}: the simulator's device)\n");
  return 2;
}
