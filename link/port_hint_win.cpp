#include "link/serial_port.h"

namespace zorvik {

// Windows grants every user access to a COM port; a failed open there means
// a missing or busy port, which the "not ready" text already says.
std::string openFailureHint(const std::string&) { return {}; }

}  // namespace zorvik
