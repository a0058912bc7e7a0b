// Station mode: every logger plugged in is updated, without asking, until
// the operator stops the station. It follows a directory of port links
// (/dev/serial/by-id, FTDI adapters only, or any link in a directory given),
// starts one update per link as it appears, runs them at once, prints one
// result per unit with counters, and takes a port again only after its link
// has gone and come back (the next logger plugged in). The bookkeeping is
// the station library's (station/); this is its command-line face.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "apps/cli/console_output.h"
#include "apps/cli/history_access.h"
#include "engine/run_handle.h"
#include "engine/run_request.h"
#include "link/cancel_token.h"
#include "session/failure_texts.h"
#include "station/station_policy.h"

namespace zorvik::cli {

struct StationPlan {
  std::filesystem::path watchDir;
  station::LinkChoice links = station::LinkChoice::everyLink();  // which links in it are loggers
  RunOptions options;
  ImageSource images;
  std::string imagePolicy;  // how the image is chosen, in words, for the start line
  CancelToken cancel;       // stops the station and every run
  int interruptFd = -1;     // readable once `cancel` is cancelled
  std::shared_ptr<Sleeper> sleeper;
  std::chrono::milliseconds repeatPause{1500};
  int maxRepeats = -1;  // automatic repeats per unit; -1 unlimited
  WorkerFactory workers = makeLoggerUpdate;
  RecorderFactory recorders;  // keeps the update history; may be empty
  session::Explain explain = session::explainFailure;  // the cause and fix of a failure
};

// Until the station is stopped; 0 when no unit failed, 1 otherwise.
int runStation(const StationPlan& plan, Console& console);

}  // namespace zorvik::cli
