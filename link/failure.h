// Why a run could not go on, as far as the link can tell: which way opening
// the port failed, or which way the last exchange attempt failed. The error
// codes stay what the user and scripts see; this travels beside them, so that
// a front end can name the cause and the fix.
#pragma once

#include <string>

namespace zorvik::link {

enum class FailureKind {
  None,
  // Opening the port.
  NotFound,         // no such device
  Busy,             // another program holds it
  NoPermission,     // the user may not open it
  NotATerminal,     // it is no serial port
  SettingsRefused,  // the driver refused 9600 8N1
  // Using it.
  PortIo,           // a read or write call failed (the adapter went away, a hang-up)
  // The logger.
  Silent,           // no answer at all
  ShortAnswer,      // an answer, but too short
  DamagedAnswer,    // an answer whose checksum is wrong
  Refused,          // the logger answered with its exception bit
  EchoDiffers,      // a data line came back changed
};

struct Failure {
  FailureKind kind = FailureKind::None;
  int osError = 0;     // errno or GetLastError(); 0 when the system said nothing
  std::string osText;  // the system's text for it
  friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace zorvik::link
