#include "engine/failure_explanation.h"

namespace zorvik::engine {
namespace {

constexpr const char* kListPorts = "see zorvik-updater-cli --list-ports";

// The fixes end in "start once more" or "try again", not "update again": the
// doctor's check meets the same failures without any update.
Explanation words(link::FailureKind kind) {
  switch (kind) {
    case link::FailureKind::None: return {};
    case link::FailureKind::NotFound: return {"no such port", std::string("is the adapter plugged in? ") + kListPorts};
    case link::FailureKind::Busy:
      return {"another program holds the port",
              "close the program that uses it (a terminal program, another updater) and try again"};
    case link::FailureKind::NoPermission:
      return {"no permission to open the port",
              "install the package's rule (sudo apt install ./zorvik-updater_*.deb) or add yourself to the group "
              "that owns the port and log in again"};
    case link::FailureKind::NotATerminal:
      return {"this is no serial port", std::string("name the logger's port: ") + kListPorts};
    case link::FailureKind::SettingsRefused:
      return {"the port refused 9600 baud, 8 data bits, no parity",
              "plug the adapter in again; if that does not help, its driver cannot do these settings: use the "
              "logger's own USB cable"};
    case link::FailureKind::PortIo:
      return {"the port stopped working (a hang-up, or the adapter was pulled out)",
              "check that the adapter is plugged in firmly, plug it in again and start once more"};
    case link::FailureKind::Silent: return {"no answer at all", "is the logger switched on and the cable in?"};
    case link::FailureKind::ShortAnswer:
      // Another program reading the same port takes bytes out of the answers.
      return {"the logger's answer broke off", "check the cable; close any other program that reads the port"};
    case link::FailureKind::DamagedAnswer:
      return {"the logger's answer arrived damaged",
              "a noisy or long cable, a wrong baud rate or another program on the port: use the logger's own "
              "cable and close other programs that use the port"};
    case link::FailureKind::Refused:
      // A logger that keeps refusing does not become ready by waiting;
      // switching it off and on brings it back to where it takes commands.
      return {"the logger refused the command", "switch the logger off and on again, then start once more"};
    case link::FailureKind::EchoDiffers:
      return {"a line came back changed from the logger",
              "the cable disturbs the data: use the logger's own cable, keep it away from motors and power "
              "lines, then start once more"};
  }
  return {};
}

}  // namespace

Explanation failureExplanation(const link::Failure& failure) {
  Explanation e = words(failure.kind);
  if (!e.empty() && !failure.osText.empty()) e.reason += " (" + failure.osText + ")";
  return e;
}

Explanation silentPortExplanation(const std::string& port) {
  return {"no logger answers on " + port, "is this the logger's port?"};
}

}  // namespace zorvik::engine
