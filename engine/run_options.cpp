#include "run_options.h"

namespace zorvik {

std::atomic<bool> OptCheckClass{true};
std::atomic<bool> OptCheckFirmwareClass{true};
std::atomic<bool> OptCheckPlatform{true};
std::atomic<bool> ReadInfoOnly{false};

}  // namespace zorvik
