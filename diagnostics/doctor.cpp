// The doctor's command and the parts every platform shares: which checks run
// in which order, the lines and JSON objects it writes, and the words for a
// failed run.
#include <exception>
#include <ostream>

#include "diagnostics/doctor.h"
#include "diagnostics/doctor_texts.h"
#include "diagnostics/logger_check.h"
#include "diagnostics/platform_checks.h"
#include "text/json_text.h"
#include "text/utc_time.h"

namespace zorvik::diagnostics {
namespace {

// A JSON string: the text escaped as every machine line of ours escapes it.
std::string jsonText(const std::string& text) { return "\"" + text::jsonEscape(text) + "\""; }

// The fields every JSON line of the command line ends with.
std::string jsonTail() {
  return ",\"schema\":" + std::to_string(text::kJsonSchema) + ",\"utc\":" + jsonText(text::utcNow()) + "}";
}

std::string summaryWords(int ok, int warnings, int failed) {
  return "summary: " + std::to_string(ok) + " ok, " + std::to_string(warnings) +
         (warnings == 1 ? " warning, " : " warnings, ") + std::to_string(failed) + " failed" +
         (failed == 0 ? ": nothing stops an update" : ": an update cannot work until the failed checks are fixed");
}

struct Tally {
  int ok = 0;
  int warning = 0;
  int fail = 0;
  void count(Level level) {
    if (level == Level::Ok) ++ok;
    if (level == Level::Warning) ++warning;
    if (level == Level::Fail) ++fail;
  }
};

class DoctorOutput {
 public:
  DoctorOutput(std::ostream& out, bool json, bool severalPorts) : out_(out), json_(json), severalPorts_(severalPorts) {}

  void finding(const std::string& port, const Finding& f) {
    tally_.count(f.level);
    if (json_) {
      out_ << "{\"type\":\"check\",\"check\":" << jsonText(f.check) << ",\"level\":"
           << jsonText(std::string(levelName(f.level))) << ",\"found\":" << jsonText(f.found)
           << ",\"fix\":" << jsonText(f.fix) << ",\"port\":" << jsonText(port) << jsonTail() << std::endl;
      return;
    }
    out_ << (severalPorts_ ? "[" + port + "] " : std::string()) << findingLine(f) << std::endl;
  }

  // The last line; the exit status.
  int summary(int ports) {
    const int status = tally_.fail == 0 ? 0 : 1;
    if (json_) {
      out_ << "{\"type\":\"summary\",\"ports\":" << ports << ",\"ok\":" << tally_.ok
           << ",\"warning\":" << tally_.warning << ",\"fail\":" << tally_.fail << ",\"status\":" << status
           << jsonTail() << '\n';
    } else {
      out_ << summaryWords(tally_.ok, tally_.warning, tally_.fail) << '\n';
    }
    out_.flush();
    return status;
  }

 private:
  std::ostream& out_;
  bool json_;
  bool severalPorts_;
  Tally tally_;
};

}  // namespace

std::string_view levelName(Level level) {
  switch (level) {
    case Level::Ok: return "ok";
    case Level::Warning: return "warning";
    case Level::Fail: return "fail";
  }
  return "fail";
}

std::string findingLine(const Finding& f) {
  std::string line(levelName(f.level));
  line.resize(8, ' ');
  line += f.check + ": " + f.found;
  if (!f.fix.empty()) line += "; fix: " + f.fix;
  return line;
}

std::vector<Finding> checkPortForWindow(const std::string& port) noexcept {
  try {
    return checkPort(port);
  } catch (const std::exception& e) {
    try {
      return {{"check", Level::Fail, std::string("the check stopped: ") + e.what(), {}}};
    } catch (const std::exception&) {
      // Copying the text needs memory there is none of: the window says the
      // check found nothing.
      return {};
    }
  }
}

std::string summaryLine(const std::vector<Finding>& findings) {
  Tally tally;
  for (const Finding& f : findings) tally.count(f.level);
  return summaryWords(tally.ok, tally.warning, tally.fail);
}

std::vector<Finding> checkPort(const std::string& port, const SystemRoots& roots) {
  detail::PlatformChecks checks = detail::platformChecks(port, roots);
  if (checks.tryOpen) {
    for (Finding& f : checkOpenAndLogger(port, checks.openPath, roots)) checks.findings.push_back(std::move(f));
  }
  return std::move(checks.findings);
}

int runDoctor(const std::string& port, bool json, std::ostream& out, const SystemRoots& roots) {
  std::vector<std::string> ports;
  if (!port.empty()) {
    ports.push_back(port);
  } else {
    ports = detail::loggerPortsToCheck(roots);
  }
  DoctorOutput output(out, json, ports.size() > 1);
  if (ports.empty()) {
    output.finding({}, {"ports", Level::Fail, "no logger port found (no port of the loggers' USB adapters)",
                        "is the adapter plugged in? see zorvik-updater-cli --list-ports"});
    return output.summary(0);
  }
  // The same checks as checkPort, each line written as soon as it is known:
  // the wake-up exchange can take a second or two without an answer.
  for (const std::string& p : ports) {
    const detail::PlatformChecks checks = detail::platformChecks(p, roots);
    for (const Finding& f : checks.findings) output.finding(p, f);
    if (!checks.tryOpen) continue;
    for (const Finding& f : checkOpenAndLogger(p, checks.openPath, roots)) output.finding(p, f);
  }
  return output.summary(static_cast<int>(ports.size()));
}

engine::Explanation explainFailure(const std::string& port, const link::Failure& failure, const SystemRoots& roots) {
  if (failure.kind == link::FailureKind::None) return {};
  if (auto words = detail::platformExplanation(port, failure, roots)) return *words;
  return engine::failureExplanation(failure);
}

std::optional<engine::Explanation> sharedPortWarning(const std::string& port, const SystemRoots& roots) {
  return detail::platformSharedPort(port, roots);
}

}  // namespace zorvik::diagnostics
