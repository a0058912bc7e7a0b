#include "engine/logger_identity.h"

#include "images/identity_tables.h"
#include "link/convert.h"
#include "link/link.h"
#include "link/update_error.h"

namespace zorvik {
namespace {

constexpr std::int32_t kBaudRate = 9600;
constexpr int kWakePauseMs = 100;
constexpr std::uint8_t kCmdIdentity = 1;
constexpr std::uint8_t kIdentitySerialNumber = 3;

// The same wake-up and queries as the first steps of an update.
void ask(Link& link, Sleeper& sleeper, LoggerIdentity& id) {
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(kWakePauseMs);
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(kWakePauseMs);
  link.sendCommand(true, kCmdIdentity);
  id.deviceClass = bytesToWord(link.received()[2], link.received()[3]);
  id.version = bytesToWord(link.received()[4], link.received()[5]);
  id.inBootloader = id.deviceClass == kClassBootloader1 || id.deviceClass == kClassBootloader2 ||
                    id.deviceClass == kClassBootloader3;
  if (id.deviceClass != kClassZorvik) return;
  link.sendCommand(true, kCmdIdentity, kIdentitySerialNumber);
  const auto& rx = link.received();
  id.serialNumber = bytesToDword(rx[4], rx[3], rx[2], rx[1]);
}

}  // namespace

LoggerIdentity identifyLogger(const std::string& port, Sleeper& sleeper, const CancelToken& cancel) {
  LoggerIdentity id;
  Link link(sleeper, cancel);
  Failure openFailure;
  link.attachPort(openSerialPort(port, kBaudRate, openFailure));
  if (!link.hasPort()) {
    id.error = kErrPortNotReady;
    id.failure = openFailure;
    return id;
  }
  try {
    ask(link, sleeper, id);
  } catch (const UpdateError& e) {
    id.error = e.code();
    id.failure = link.lastFailure();
  }
  link.closePort();
  return id;
}

}  // namespace zorvik
