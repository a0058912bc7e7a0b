// The updates of a command line: one update session per port, all at once,
// driven from the main thread. Runs post their events into one queue; the
// main thread hands each to its port's session and keeps the pauses before
// repeats, so a pause on one port never holds up another.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/cli/console_output.h"
#include "apps/cli/history_access.h"
#include "engine/run_handle.h"
#include "engine/run_request.h"
#include "session/failure_texts.h"

namespace zorvik::cli {

struct UpdatePlan {
  std::vector<std::string> ports;
  engine::RunOptions options;
  images::ImageSource images;
  int maxRepeats = -1;  // -1 unlimited
  link::CancelToken cancel;   // every port's update is cancelled with it
  std::shared_ptr<link::Sleeper> sleeper;
  std::chrono::milliseconds repeatPause{1500};
  engine::WorkerFactory workers = engine::makeLoggerUpdate;
  RecorderFactory recorders;  // may be empty: no history kept
  // Each port's bytes and events, when given (one file per port, see traceFilesFor).
  std::vector<std::shared_ptr<link::LineTrace>> traces;
  session::Explain explain = session::explainFailure;  // the cause and fix of a failure
  // What stands in a port's way before its update starts (another program
  // that has it open), said as a note; empty: nothing is looked at.
  std::function<std::optional<session::Explanation>(const std::string& port)> warnBefore = {};
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;  // the line rate's
};

// Exit status per port, in the order of plan.ports.
std::vector<int> runUpdates(const UpdatePlan& plan, Console& console);

// The exit status for an update's outcome: 0, the error code, or 1.
int exitStatusFor(std::int32_t outcome);

}  // namespace zorvik::cli
