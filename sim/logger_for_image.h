// The simulated logger that a built-in image is meant for: the one whose
// update the updater answers with exactly that image.
#pragma once

#include "sim/simulated_logger.h"

namespace zorvik::sim {

// Images 7 and 8 fit the same loggers; for image 8 the logger is one of the
// pinned serial numbers running 5.136, which only image 8 may receive.
LoggerConfig loggerFor(int image);

}  // namespace zorvik::sim
