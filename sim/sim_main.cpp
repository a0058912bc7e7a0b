// zorvik-logger-sim: a simulated logger on a pseudo-terminal for people and
// scripts. Prints the device path as its first line, then answers until
// SIGINT or SIGTERM. With --replay it answers as a traced logger did instead
// (sim/replay.h).
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "sim/logger_model.h"
#include "sim/replay.h"
#include "sim/simulated_logger.h"

namespace {

using zorvik::sim::LoggerConfig;

constexpr const char* kUsage =
    "Usage: zorvik-logger-sim [options]\n"
    "       zorvik-logger-sim --replay FILE [--verbose]\n"
    "Simulates a logger on a pseudo-terminal; the first line printed is its device path.\n"
    "Numbers may be decimal or hexadecimal with 0x.\n"
    "  --class N           application class (default 0x6601); also the update class\n"
    "  --app-version N     application version word, major high byte (default 0x061A);\n"
    "                      below 0x0600 it takes the old entry frame, from 0x0600 on the new one\n"
    "  --serial N          serial number (default 100200)\n"
    "  --bootloader-id N   0xC800, 0xC801 or 0xC802 (default 0xC802)\n"
    "  --bl-version N      bootloader version word (default 0)\n"
    "  --platform N        platform code, in the info answer and the update ID (default 24)\n"
    "  --print N           print code, in the info answer and the update ID (default 53)\n"
    "  --start-in-bootloader\n"
    "  --reboot-ms N       silence after a bootloader entry frame and the end record (default 0)\n"
    "  --wire-timing       pace every character as a 9600-baud line would\n"
    "  --clock-scale X     run the line clock X times faster (default 1)\n"
    "  --replay FILE       answer as the logger of a trace file (the updater's --trace)\n"
    "                      answered: each request the updater sends, in the trace's order,\n"
    "                      gets the bytes the traced logger sent back, silence stays silence;\n"
    "                      a request that differs from the trace, or goes beyond its end, is\n"
    "                      reported on stderr and from then on nothing is answered.\n"
    "                      Takes no logger option. Format: docs/trace-format.md\n"
    "  --verbose           log every request on stderr (with --replay: each request met)\n"
    "  --help\n";

struct Options {
  LoggerConfig config;
  bool configGiven = false;  // a logger option: meaningless with --replay
  std::optional<std::string> replay;
  bool verbose = false;
  bool help = false;
};

std::optional<std::uint32_t> parseNumber(const std::string& text, std::uint32_t max) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || text.front() == '-' || value > max) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<std::uint16_t> parseWord(const std::string& text) {
  const auto value = parseNumber(text, 0xFFFF);
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

// Applies one option with a value; false when the name is unknown or the value bad.
bool applyValue(Options& o, std::string_view name, const std::string& value) {
  LoggerConfig& c = o.config;
  if (name == "--serial") {
    const auto v = parseNumber(value, std::numeric_limits<std::uint32_t>::max());
    if (v) c.serialNumber = *v;
    return v.has_value();
  }
  if (name == "--reboot-ms") {
    const auto v = parseNumber(value, 600'000);
    if (v) c.rebootTime = std::chrono::milliseconds(*v);
    return v.has_value();
  }
  if (name == "--clock-scale") {
    char* end = nullptr;
    c.clockScale = std::strtod(value.c_str(), &end);
    return !value.empty() && *end == '\0' && c.clockScale > 0;
  }
  const auto word = parseWord(value);
  if (!word) return false;
  if (name == "--class") {
    c.appClass = c.upidClass = *word;
  } else if (name == "--app-version") {
    c.appVersion = *word;
  } else if (name == "--bootloader-id") {
    c.bootloaderId = *word;
  } else if (name == "--bl-version") {
    c.bootloaderVersion = *word;
  } else if (name == "--platform") {
    c.platform = c.upidPlatform = *word;
  } else if (name == "--print") {
    c.print = c.upidPrint = *word;
  } else {
    return false;
  }
  return true;
}

std::optional<Options> parseArguments(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      o.help = true;
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--replay" && i + 1 < argc && !o.replay) {
      o.replay = argv[++i];
    } else if (arg == "--start-in-bootloader") {
      o.config.startInBootloader = o.configGiven = true;
    } else if (arg == "--wire-timing") {
      o.config.wireTiming = o.configGiven = true;
    } else if (i + 1 < argc && applyValue(o, arg, argv[i + 1])) {
      o.configGiven = true;
      ++i;
    } else {
      std::cerr << "zorvik-logger-sim: bad option or value: " << arg << "\n" << kUsage;
      return std::nullopt;
    }
  }
  if (o.replay && o.configGiven) {
    std::cerr << "zorvik-logger-sim: --replay answers from the trace alone and takes no logger option\n" << kUsage;
    return std::nullopt;
  }
  return o;
}

// Prints the requests that arrived since the last call.
void logNewRequests(const zorvik::sim::SimulatedLogger& logger, std::size_t& logged) {
  const auto requests = logger.requests();
  for (; logged < requests.size(); ++logged) {
    std::cerr << "request " << logged + 1 << ": " << zorvik::sim::requestName(requests[logged]) << "\n";
  }
}

// Answers from a trace until a stop signal; messages of the replay go to
// stderr as they come.
int runReplay(const std::string& path, bool verbose, sigset_t& stopSignals) {
  auto loaded = zorvik::sim::loadReplayScript(path);
  if (!loaded.script) {
    std::cerr << "zorvik-logger-sim: " << loaded.error << "\n";
    return 1;
  }
  const std::size_t total = loaded.script->exchanges.size();
  zorvik::sim::ReplayLogger logger(std::move(*loaded.script));
  if (!logger.start()) {
    std::cerr << "zorvik-logger-sim: no pseudo-terminal available\n";
    return 1;
  }
  std::cout << logger.devicePath() << std::endl;
  std::cerr << "replay: " << total << " requests from " << path << "\n";
  std::size_t reported = 0;
  const auto tell = [&] {
    if (verbose) {
      for (const std::size_t met = logger.matched(); reported < met; ++reported) {
        std::cerr << "request " << reported + 1 << " of " << total << " met\n";
      }
    }
    for (const auto& message : logger.takeMessages()) std::cerr << message << "\n";
  };
  const timespec poll{0, 50'000'000};
  while (sigtimedwait(&stopSignals, nullptr, &poll) < 0) tell();
  tell();
  logger.stop();
  std::cerr << "replay: " << logger.matched() << " of " << total << " requests met"
            << (logger.stopped() ? ", then stopped" : "") << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseArguments(argc, argv);
  if (!options) return 2;
  if (options->help) {
    std::cout << kUsage;
    return 0;
  }
  // Blocked before the server thread exists, so it inherits the mask and the
  // signals are taken only here, by sigtimedwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  if (options->replay) return runReplay(*options->replay, options->verbose, stopSignals);

  zorvik::sim::SimulatedLogger logger(options->config);
  if (!logger.start()) {
    std::cerr << "zorvik-logger-sim: no pseudo-terminal available\n";
    return 1;
  }
  std::cout << logger.devicePath() << std::endl;
  std::size_t logged = 0;
  const timespec poll{0, 50'000'000};
  while (sigtimedwait(&stopSignals, nullptr, &poll) < 0) {
    if (options->verbose) logNewRequests(logger, logged);
  }
  if (options->verbose) logNewRequests(logger, logged);
  logger.stop();
  return 0;
}
