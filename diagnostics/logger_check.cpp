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
LoggerAnswer wakeLogger(link::PortHandle port) {
  link::ThreadSleeper sleeper;
  const engine::LoggerIdentity id = engine::identifyLogger(std::move(port), sleeper, link::CancelToken());
  LoggerAnswer answer;
  answer.deviceClass = id.deviceClass;
  answer.version = id.version;
  if (id.error == 0) {
    if (id.deviceClass == images::kClassZorvik) answer.serialNumber = id.serialNumber;
    return answer;
  }
  answer.failure = id.failure;
  // An exchange that failed without saying which way (the link knows every
  // way it can fail, but a failure must never read as an answer).
  if (answer.failure.kind == link::FailureKind::None) {
    const auto code = static_cast<engine::ErrorCode>(id.error);
    answer.failure.kind = code == engine::ErrorCode::LoggerException ? link::FailureKind::Refused
                          : code == engine::ErrorCode::PortIo        ? link::FailureKind::PortIo
                                                             : link::FailureKind::Silent;
  }
  return answer;
}

std::vector<Finding> checkOpenAndLogger(const std::string& port, const std::string& path, const SystemRoots& roots) {
  link::Failure failure;
  link::PortHandle handle = engine::openLoggerPort(path, failure);
  if (!handle) {
    if (failure.kind == link::FailureKind::None) failure.kind = link::FailureKind::PortIo;
    const engine::Explanation why = explainFailure(port, failure, roots);
    return {{"open", Level::Fail, "cannot open " + port + ": " + why.reason, why.fix}};
  }
  const std::string settings = std::to_string(images::protocol::kBaudRate) + " baud, 8 data bits, no parity";
  std::vector<Finding> findings{{"open", Level::Ok, "opened " + port + " at " + settings, {}}};
  const LoggerAnswer answer = wakeLogger(std::move(handle));
  Finding logger = loggerFinding(port, answer);
  if (answer.failure.kind != link::FailureKind::None) {
    // What the system knows comes first: a second reader of the port makes
    // a logger look silent.
    const engine::Explanation why = explainFailure(port, answer.failure, roots);
    logger.found = why.reason;
    logger.fix = why.fix;
  }
  findings.push_back(std::move(logger));
  return findings;
}

}  // namespace zorvik::diagnostics
