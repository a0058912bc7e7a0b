#include "diagnostics/logger_check.h"

#include "diagnostics/doctor.h"
#include "images/identity_tables.h"
#include "link/cancel_token.h"
#include "link/convert.h"
#include "link/link.h"
#include "link/sleeper.h"
#include "link/update_error.h"

namespace zorvik::diagnostics {
namespace {

// The line settings and the start of every update (engine/run_worker.cpp,
// engine/logger_update.cpp): the doctor meets the logger exactly as an
// update would, up to the point where an update would switch it.
constexpr std::int32_t kBaudRate = 9600;
constexpr int kWakePauseMs = 100;
constexpr std::uint8_t kCmdIdentity = 1;
constexpr std::uint8_t kIdentitySerialNumber = 3;

}  // namespace

LoggerAnswer wakeLogger(PortHandle port) {
  ThreadSleeper sleeper;
  Link link(sleeper, CancelToken());
  link.attachPort(std::move(port));
  LoggerAnswer answer;
  try {
    link.sendCommand(false, kNullCommand);
    sleeper.sleepMs(kWakePauseMs);
    link.sendCommand(false, kNullCommand);
    sleeper.sleepMs(kWakePauseMs);
    link.sendCommand(true, kCmdIdentity);
    answer.deviceClass = bytesToWord(link.received()[2], link.received()[3]);
    answer.version = bytesToWord(link.received()[4], link.received()[5]);
    if (answer.deviceClass == kClassZorvik) {
      link.sendCommand(true, kCmdIdentity, kIdentitySerialNumber);
      const Link::Buffer& rx = link.received();
      answer.serialNumber = bytesToDword(rx[4], rx[3], rx[2], rx[1]);
    }
  } catch (const UpdateError& e) {
    answer.failure = link.lastFailure();
    // An exchange that failed without saying which way (the link knows every
    // way it can fail, but a failure must never read as an answer).
    if (answer.failure.kind == FailureKind::None) {
      answer.failure.kind = e.code() == kErrLoggerException ? FailureKind::Refused
                            : e.code() == kErrPortIo        ? FailureKind::PortIo
                                                            : FailureKind::Silent;
    }
  }
  link.closePort();
  return answer;
}

std::vector<Finding> checkOpenAndLogger(const std::string& port, const std::string& path, const SystemRoots& roots) {
  Failure failure;
  PortHandle handle = openSerialPort(path, kBaudRate, failure);
  if (!handle) {
    if (failure.kind == FailureKind::None) failure.kind = FailureKind::PortIo;
    const Explanation why = explainFailure(port, failure, roots);
    return {{"open", Level::Fail, "cannot open " + port + ": " + why.reason, why.fix}};
  }
  std::vector<Finding> findings{{"open", Level::Ok, "opened " + port + " at 9600 baud, 8 data bits, no parity", {}}};
  findings.push_back(loggerFinding(port, wakeLogger(std::move(handle))));
  return findings;
}

}  // namespace zorvik::diagnostics
