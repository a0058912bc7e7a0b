#include "engine/logger_protocol.h"

#include "images/identity_tables.h"
#include "images/protocol.h"
#include "link/convert.h"

namespace zorvik::engine {

bool isBootloaderClass(std::uint16_t deviceClass) {
  return deviceClass == images::kClassBootloader1 || deviceClass == images::kClassBootloader2 || deviceClass == images::kClassBootloader3;
}

link::PortHandle openLoggerPort(const std::string& port, link::Failure& failure) {
  return link::openSerialPort(port, images::protocol::kBaudRate, failure);
}

void wakeLogger(link::Link& link, link::Sleeper& sleeper) {
  link.sendCommand(false, link::kNullCommand);
  sleeper.sleepMs(images::protocol::kWakePauseMs);
  link.sendCommand(false, link::kNullCommand);
  sleeper.sleepMs(images::protocol::kWakePauseMs);
}

IdentityAnswer queryIdentity(link::Link& link) {
  link.sendCommand(true, images::protocol::kIdentityQuery);
  const std::uint8_t* cls = &link.received()[images::protocol::kIdentityClassByte];
  const std::uint8_t* version = &link.received()[images::protocol::kIdentityVersionByte];
  return {link::bytesToWord(cls[0], cls[1]), link::bytesToWord(version[0], version[1])};
}

std::uint32_t querySerialNumber(link::Link& link) {
  link.sendCommand(true, images::protocol::kSerialNumberQuery);
  const std::uint8_t* n = &link.received()[images::protocol::kSerialNumberByte];
  return link::bytesToDword(n[3], n[2], n[1], n[0]);
}

void requestBootloader(link::Link& link, link::Sleeper& sleeper, std::uint16_t appVersion) {
  link.sendCommand(false, appVersion < images::protocol::kNewEntryFrameVersion ? images::protocol::kEntryFrameOld
                                                                       : images::protocol::kEntryFrameNew);
  sleeper.sleepMs(images::protocol::kEntryPauseMs);
}

}  // namespace zorvik::engine
