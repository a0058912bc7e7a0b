// Who is on a port, asked without any risk: the identity and serial-number
// queries only, never the bootloader entry frame, so the logger stays as it
// was. For --identify and the doctor.
#pragma once

#include <cstdint>
#include <string>

#include "link/cancel_token.h"
#include "link/failure.h"
#include "link/serial_port.h"
#include "link/sleeper.h"

namespace zorvik::engine {

struct LoggerIdentity {
  std::int32_t error = 0;          // 0, or why nobody could be asked (10, 11, 20, 30, 41)
  link::Failure failure;                 // its cause, where the link could tell
  std::uint16_t deviceClass = 0;   // 0x6601 in the application, 0xC800-0xC802 in the bootloader
  std::uint16_t version = 0;       // application version, or bootloader version
  std::uint32_t serialNumber = 0;  // the application tells it; 0 from a bootloader
  bool inBootloader = false;
};

LoggerIdentity identifyLogger(const std::string& port, link::Sleeper& sleeper, const link::CancelToken& cancel);
// The same over a port its caller opened (the port check opens it itself, to
// explain a failure); the port is closed afterwards.
LoggerIdentity identifyLogger(link::PortHandle port, link::Sleeper& sleeper, const link::CancelToken& cancel);

}  // namespace zorvik::engine
