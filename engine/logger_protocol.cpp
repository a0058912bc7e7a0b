#include "engine/logger_protocol.h"

#include "images/identity_tables.h"
#include "images/protocol.h"
#include "link/convert.h"

namespace zorvik {

bool isBootloaderClass(std::uint16_t deviceClass) {
  return deviceClass == kClassBootloader1 || deviceClass == kClassBootloader2 || deviceClass == kClassBootloader3;
}

PortHandle openLoggerPort(const std::string& port, Failure& failure) {
  return openSerialPort(port, protocol::kBaudRate, failure);
}

void wakeLogger(Link& link, Sleeper& sleeper) {
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(protocol::kWakePauseMs);
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(protocol::kWakePauseMs);
}

IdentityAnswer queryIdentity(Link& link) {
  link.sendCommand(true, protocol::kIdentityQuery);
  const std::uint8_t* cls = &link.received()[protocol::kIdentityClassByte];
  const std::uint8_t* version = &link.received()[protocol::kIdentityVersionByte];
  return {bytesToWord(cls[0], cls[1]), bytesToWord(version[0], version[1])};
}

std::uint32_t querySerialNumber(Link& link) {
  link.sendCommand(true, protocol::kSerialNumberQuery);
  const std::uint8_t* n = &link.received()[protocol::kSerialNumberByte];
  return bytesToDword(n[3], n[2], n[1], n[0]);
}

void requestBootloader(Link& link, Sleeper& sleeper, std::uint16_t appVersion) {
  link.sendCommand(false, appVersion < protocol::kNewEntryFrameVersion ? protocol::kEntryFrameOld
                                                                       : protocol::kEntryFrameNew);
  sleeper.sleepMs(protocol::kEntryPauseMs);
}

}  // namespace zorvik
