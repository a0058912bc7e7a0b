// Private to its library.
// The last two checks of a port, the only ones that use it: can it be opened
// as an update opens it, and does a logger answer the wake-up? They send the
// two null frames and the identity query every update starts with (and, to
// a logger in its application, the serial number query): nothing that
// switches the logger or changes it.
#pragma once

#include <string>
#include <vector>

#include "diagnostics/doctor_texts.h"
#include "diagnostics/finding.h"
#include "diagnostics/system_roots.h"
#include "link/serial_port.h"

namespace zorvik::diagnostics {

// One wake-up exchange over an open port: two null frames a pause apart, the
// identity query, and for a logger in its application the serial number
// query. The port is closed afterwards.
LoggerAnswer wakeLogger(link::PortHandle port);

// The "open" finding and, when the port opened, the "logger" finding.
// `path` is what is opened (the port's device, under the roots' /dev);
// `port` is the name the user knows, for the texts.
std::vector<Finding> checkOpenAndLogger(const std::string& port, const std::string& path, const SystemRoots& roots);

}  // namespace zorvik::diagnostics
