#include "engine/logger_protocol.h"

#include "images/identity_tables.h"
#include "link/convert.h"

namespace zorvik {
namespace {

constexpr std::int32_t kBaudRate = 9600;
constexpr int kWakePauseMs = 100;
constexpr std::uint8_t kCmdIdentity = 1;
constexpr std::uint8_t kIdentitySerialNumber = 3;
constexpr std::uint16_t kNewEntryFrameVersion = 0x0600;
constexpr int kEntryPauseMs = 1;

}  // namespace

bool isBootloaderClass(std::uint16_t deviceClass) {
  return deviceClass == kClassBootloader1 || deviceClass == kClassBootloader2 || deviceClass == kClassBootloader3;
}

PortHandle openLoggerPort(const std::string& port, Failure& failure) {
  return openSerialPort(port, kBaudRate, failure);
}

void wakeLogger(Link& link, Sleeper& sleeper) {
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(kWakePauseMs);
  link.sendCommand(false, kNullCommand);
  sleeper.sleepMs(kWakePauseMs);
}

IdentityAnswer queryIdentity(Link& link) {
  link.sendCommand(true, kCmdIdentity);
  const Link::Buffer& rx = link.received();
  return {bytesToWord(rx[2], rx[3]), bytesToWord(rx[4], rx[5])};
}

std::uint32_t querySerialNumber(Link& link) {
  link.sendCommand(true, kCmdIdentity, kIdentitySerialNumber);
  const Link::Buffer& rx = link.received();
  return bytesToDword(rx[4], rx[3], rx[2], rx[1]);
}

void requestBootloader(Link& link, Sleeper& sleeper, std::uint16_t appVersion) {
  if (appVersion < kNewEntryFrameVersion) {
    link.sendCommand(false, 5, 0x03, 0xA5, 0x5A, 0x00, 0x00, 0x00);
  } else {
    link.sendCommand(false, 2, 0x81, 0x00, 0xA5, 0x5A, 0x00, 0x00);
  }
  sleeper.sleepMs(kEntryPauseMs);
}

}  // namespace zorvik
