#include "apps/cli/station.h"

namespace zorvik::cli {

// A station follows a directory of port links as Linux's udev makes them;
// Windows names ports differently and has no such directory.
int runStation(const StationPlan&, Console& console) {
  console.line("zorvik-updater-cli: station mode is available on Linux only");
  return 1;
}

}  // namespace zorvik::cli
