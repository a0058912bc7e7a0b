// Station mode: every logger plugged in is updated, after one question at
// the start (unless --yes or service mode), until the operator stops the
// station. It follows a directory of port links (/dev/serial/by-id, FTDI
// adapters only, or any link in a directory given), starts one update per link as it appears, runs them at once, prints one
// result per unit with counters, and takes a port again only after its link
// has gone and come back (the next logger plugged in). The bookkeeping is
// the station library's (station/); this is its command-line face.
#pragma once

#include <memory>

#include "apps/cli/console_output.h"
#include "station/production_station.h"
#include "station/results_csv.h"

namespace zorvik::cli {

// The station's own setup as the command line fills it (its `cancel` stops
// the station and every run; its sink is the loop's, set by runStation),
// and the operator's interrupt.
struct StationPlan : station::StationSetup {
  int interruptFd = -1;  // readable once `cancel` is cancelled
  // A line per unit with its progress, at most one a second each (an
  // operator at a terminal; scripts have the JSON lines).
  bool progressLines = false;
  // Each result added to this file as well; none: no file.
  std::shared_ptr<station::ResultsCsv> results;
};

// Until the station is stopped; 0 when no unit failed, 1 otherwise.
int runStation(const StationPlan& plan, Console& console);

}  // namespace zorvik::cli
