// The steps every meeting with the logger is made of: open its port, wake it,
// ask who it is, and switch an application into its bootloader. The update,
// --identify and the port check all meet the logger through these, so that
// the port check sees exactly what an update would.
#pragma once

#include <cstdint>
#include <string>

#include "link/failure.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/sleeper.h"

namespace zorvik::engine {

// The answer to the identity query.
struct IdentityAnswer {
  std::uint16_t deviceClass = 0;  // 0x6601 in the application, 0xC800-0xC802 in a bootloader
  std::uint16_t version = 0;      // application version, or bootloader version
};

// A logger whose class is one of these runs its bootloader, not its
// application.
bool isBootloaderClass(std::uint16_t deviceClass);

// The logger's port with the line settings it speaks; null, with `failure`
// saying why, when it cannot be opened.
link::PortHandle openLoggerPort(const std::string& port, link::Failure& failure);

// Two null frames, each followed by the wake pause: whatever the logger was
// in the middle of receiving is over, and it listens.
void wakeLogger(link::Link& link, link::Sleeper& sleeper);

IdentityAnswer queryIdentity(link::Link& link);

// Only a logger in its application knows this query; its bootloader refuses
// it.
std::uint32_t querySerialNumber(link::Link& link);

// The frame that switches an application into its bootloader (which one
// depends on the application's version), and the pause the switch needs.
// The logger does not answer it.
void requestBootloader(link::Link& link, link::Sleeper& sleeper, std::uint16_t appVersion);

}  // namespace zorvik::engine
