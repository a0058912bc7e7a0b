#include "engine/logger_identity.h"

#include "engine/logger_protocol.h"
#include "engine/update_error.h"
#include "images/identity_tables.h"
#include "link/link.h"

namespace zorvik::engine {

LoggerIdentity identifyLogger(const std::string& port, link::Sleeper& sleeper, const link::CancelToken& cancel) {
  link::Failure openFailure;
  link::PortHandle handle = openLoggerPort(port, openFailure);
  if (!handle) {
    LoggerIdentity id;
    id.error = errorValue(ErrorCode::PortNotReady);
    id.failure = openFailure;
    return id;
  }
  return identifyLogger(std::move(handle), sleeper, cancel);
}

LoggerIdentity identifyLogger(link::PortHandle port, link::Sleeper& sleeper, const link::CancelToken& cancel) {
  LoggerIdentity id;
  link::Link link(sleeper, cancel);
  link.attachPort(std::move(port));
  try {
    wakeLogger(link, sleeper);
    const IdentityAnswer answer = queryIdentity(link);
    id.deviceClass = answer.deviceClass;
    id.version = answer.version;
    id.inBootloader = isBootloaderClass(answer.deviceClass);
    if (answer.deviceClass == images::kClassZorvik) id.serialNumber = querySerialNumber(link);
  } catch (const link::LinkError& e) {
    id.error = errorValue(errorCode(e.error()));
    id.failure = link::Failure{e.failure(), 0, {}};
  }
  link.closePort();
  return id;
}

}  // namespace zorvik::engine
