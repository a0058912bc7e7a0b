#include "diagnostics/logger_check.h"

#include "diagnostics/doctor.h"
#include "engine/logger_identity.h"
#include "engine/logger_protocol.h"
#include "engine/update_error.h"
#include "images/identity_tables.h"
#include "images/protocol.h"
#include "link/cancel_token.h"
#include "link/sleeper.h"

namespace zorvik::diagnostics {

// The doctor meets the logger exactly as --identify does, which is how an
// update starts, up to the point where an update would switch it.
LoggerAnswer wakeLogger(PortHandle port) {
  ThreadSleeper sleeper;
  const LoggerIdentity id = identifyLogger(std::move(port), sleeper, CancelToken());
  LoggerAnswer answer;
  answer.deviceClass = id.deviceClass;
  answer.version = id.version;
  if (id.error == 0) {
    if (id.deviceClass == kClassZorvik) answer.serialNumber = id.serialNumber;
    return answer;
  }
  answer.failure = id.failure;
  // An exchange that failed without saying which way (the link knows every
  // way it can fail, but a failure must never read as an answer).
  if (answer.failure.kind == FailureKind::None) {
    const auto code = static_cast<ErrorCode>(id.error);
    answer.failure.kind = code == ErrorCode::LoggerException ? FailureKind::Refused
                          : code == ErrorCode::PortIo        ? FailureKind::PortIo
                                                             : FailureKind::Silent;
  }
  return answer;
}

std::vector<Finding> checkOpenAndLogger(const std::string& port, const std::string& path, const SystemRoots& roots) {
  Failure failure;
  PortHandle handle = openLoggerPort(path, failure);
  if (!handle) {
    if (failure.kind == FailureKind::None) failure.kind = FailureKind::PortIo;
    const Explanation why = explainFailure(port, failure, roots);
    return {{"open", Level::Fail, "cannot open " + port + ": " + why.reason, why.fix}};
  }
  const std::string settings = std::to_string(protocol::kBaudRate) + " baud, 8 data bits, no parity";
  std::vector<Finding> findings{{"open", Level::Ok, "opened " + port + " at " + settings, {}}};
  findings.push_back(loggerFinding(port, wakeLogger(std::move(handle))));
  return findings;
}

}  // namespace zorvik::diagnostics
