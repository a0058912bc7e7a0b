// Windows: the serial port map says whether the COM port exists and which
// driver made it, and the FTDI driver keeps its latency timer; both are read
// by the port's description (ports/port_description_win.cpp). Windows grants
// every user its COM ports, so a refused open means another program has the
// port: it opens COM ports for one program at a time.
#include <optional>
#include <string>

#include "diagnostics/doctor_texts.h"
#include "diagnostics/platform_checks.h"
#include "ports/port_description.h"
#include "ports/port_lister.h"
#include "ports/port_rules.h"

namespace zorvik::diagnostics {
namespace {

constexpr std::string_view kListPorts = "see zorvik-updater-cli --list-ports";

Finding serialMapFinding(const std::string& port) {
  const auto map = ports::readSerialMap();
  if (!map) {
    return {"serial-map", Level::Fail, "the serial port map (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM) is empty: no COM port exists",
            "is the adapter plugged in? " + std::string(kListPorts)};
  }
  if (const auto device = ports::serialMapDevice(*map, port)) {
    if (ports::isVcpDevice(*device)) {
      return {"serial-map", Level::Ok, port + " is an FTDI USB serial port (" + *device + ")", {}};
    }
    return {"serial-map", Level::Warning, port + " is a port of another driver (" + *device + "), not an FTDI adapter, which the loggers' cables have",
            "connect the logger through its own USB cable"};
  }
  return {"serial-map", Level::Fail, port + " is not in the serial port map: no such port",
          "is the adapter plugged in? " + std::string(kListPorts)};
}

}  // namespace

namespace detail {

PlatformChecks platformChecks(const std::string& port, const SystemRoots&) {
  PlatformChecks checks;
  checks.openPath = port;
  checks.findings.push_back(serialMapFinding(port));
  if (checks.findings.back().level != Level::Fail) {
    checks.findings.push_back(latencyFinding(
        ports::describePort(port).latencyMs, "Device Manager, Ports (COM & LPT), " + port +
                               ", Properties, Port Settings, Advanced: set Latency Timer (msec) to 1"));
  }
  return checks;
}

std::vector<std::string> loggerPortsToCheck(const SystemRoots&) { return ports::listLoggerPorts(); }

std::optional<Explanation> platformExplanation(const std::string&, const link::Failure& failure, const SystemRoots&) {
  if (failure.kind != link::FailureKind::Busy) return std::nullopt;
  std::string reason = "another program holds the port (Windows lets one program at a time open a COM port)";
  if (!failure.osText.empty()) reason += " (" + failure.osText + ")";
  return Explanation{reason, engine::failureExplanation(failure).fix};
}

// Windows lets one program at a time open a COM port: a second one finds it
// busy instead of sharing it.
std::optional<Explanation> platformSharedPort(const std::string&, const SystemRoots&) { return std::nullopt; }

}  // namespace detail
}  // namespace zorvik::diagnostics
