#include "engine/logger_identity.h"

#include "engine/logger_protocol.h"
#include "engine/update_error.h"
#include "images/identity_tables.h"
#include "link/link.h"

namespace zorvik {

LoggerIdentity identifyLogger(const std::string& port, Sleeper& sleeper, const CancelToken& cancel) {
  Failure openFailure;
  PortHandle handle = openLoggerPort(port, openFailure);
  if (!handle) {
    LoggerIdentity id;
    id.error = errorValue(ErrorCode::PortNotReady);
    id.failure = openFailure;
    return id;
  }
  return identifyLogger(std::move(handle), sleeper, cancel);
}

LoggerIdentity identifyLogger(PortHandle port, Sleeper& sleeper, const CancelToken& cancel) {
  LoggerIdentity id;
  Link link(sleeper, cancel);
  link.attachPort(std::move(port));
  try {
    wakeLogger(link, sleeper);
    const IdentityAnswer answer = queryIdentity(link);
    id.deviceClass = answer.deviceClass;
    id.version = answer.version;
    id.inBootloader = isBootloaderClass(answer.deviceClass);
    if (answer.deviceClass == kClassZorvik) id.serialNumber = querySerialNumber(link);
  } catch (const LinkError& e) {
    id.error = errorValue(errorCode(e.error()));
    id.failure = Failure{e.failure(), 0, {}};
  }
  link.closePort();
  return id;
}

}  // namespace zorvik
