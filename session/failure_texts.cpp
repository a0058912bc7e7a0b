#include "session/failure_texts.h"

#include "link/serial_port.h"

namespace zorvik::session {
namespace {

Explanation words(FailureKind kind) {
  switch (kind) {
    case FailureKind::NotFound:
      return {"no such port", "is the adapter plugged in? zorvik-updater-cli --list-ports lists the ports"};
    case FailureKind::Busy:
      return {"another program holds the port", "close it (a terminal program, another updater) and update again"};
    case FailureKind::NoPermission:
      return {"no permission to use the port", "install the updater's udev rule (see README) or join the port's group"};
    case FailureKind::NotATerminal: return {"this is no serial port", "choose the logger's port"};
    case FailureKind::SettingsRefused:
      return {"the port refused 9600 baud 8N1", "choose the port of the logger's USB adapter"};
    case FailureKind::PortIo:
      return {"the port failed while in use (the adapter was pulled out or the line hung up)",
              "check the cable and the adapter, then update again"};
    case FailureKind::Silent: return {"no answer at all", "is the logger switched on and the cable in?"};
    case FailureKind::ShortAnswer:
      return {"the answers came incomplete", "check the cable; close any other program that reads the port"};
    case FailureKind::DamagedAnswer: return {"the answers came damaged", "check the cable and its connectors"};
    case FailureKind::Refused:
      return {"the logger refused", "wait until the logger is idle (not measuring or sending data) and update again"};
    case FailureKind::EchoDiffers: return {"the logger echoed a line changed", "check the cable, then update again"};
    case FailureKind::None: break;
  }
  return {};
}

}  // namespace

Explanation explainFailure(const std::string& port, const Failure& failure) {
  Explanation e = words(failure.kind);
  if (e.empty()) return e;
  if (!failure.osText.empty()) e.reason += " (" + failure.osText + ")";
  // Where the system tells who may use the port, the fix names it.
  if (failure.kind == FailureKind::NoPermission) {
    if (std::string hint = openFailureHint(port); !hint.empty()) e.fix = std::move(hint);
  }
  return e;
}

}  // namespace zorvik::session
