// Private to its library.
// What each platform file (doctor_linux.cpp, doctor_win.cpp) gives the
// shared doctor: its own checks of a port, the port to open, the ports to
// check when none is named, and what the system can add to the words for a
// failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diagnostics/doctor.h"

namespace zorvik::diagnostics::detail {

struct PlatformChecks {
  std::vector<Finding> findings;
  // False when opening cannot work (no such device): the open and the
  // wake-up are left out.
  bool tryOpen = true;
  // What to open: the port's device (under the roots' /dev on Linux).
  std::string openPath;
};

PlatformChecks platformChecks(const std::string& port, const SystemRoots& roots);

// The loggers' ports of this system, in the order the front ends list them.
std::vector<std::string> loggerPortsToCheck(const SystemRoots& roots);

// The platform's words for a failure the system can say more about (no
// permission, a busy port, answers spoilt by another program that has the
// port open too); nothing where the plain words
// (engine/failure_explanation.h) say all there is.
std::optional<engine::Explanation> platformExplanation(const std::string& port, const link::Failure& failure,
                                               const SystemRoots& roots);

// Before an update: the programs that have `port` open and would share it
// with the update; nothing where none does or the platform cannot share one.
std::optional<engine::Explanation> platformSharedPort(const std::string& port, const SystemRoots& roots);

}  // namespace zorvik::diagnostics::detail
