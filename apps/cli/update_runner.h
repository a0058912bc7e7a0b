// One update from the command line: runs the worker, shows its events and
// repeats the run the way the window does (after "no answer" with a pause,
// after an echo error at once), bounded by --max-repeats.
#pragma once

#include <string>

#include "console_output.h"
#include "link.h"

namespace zorvik::cli {

struct UpdateRequest {
  std::string port;
  bool readInfoOnly = false;
  bool externalImage = false;  // image 0 is loaded and selected
  int maxRepeats = -1;         // -1 unlimited
};

int runUpdateWithRepeats(const UpdateRequest& request, ConsoleOutput& output, Sleeper& sleeper);

}  // namespace zorvik::cli
