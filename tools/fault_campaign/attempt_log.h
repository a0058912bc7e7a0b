// Records what every worker of an update posts, one list per worker (one per
// attempt), by standing between each worker and the front end's sink, and
// counts the workers still alive.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/run_handle.h"
#include "tools/fault_campaign/verdict.h"

namespace zorvik::campaign {

class AttemptLog {
 public:
  AttemptLog();

  // The update procedure, each worker of it reporting to a list of its own
  // here as well as to the sink the session gives it. The factory may
  // outlive this log.
  engine::WorkerFactory factory() const;

  std::vector<std::vector<Event>> attempts() const;
  // Workers made by factory() and not yet destroyed.
  int liveWorkers() const;

  struct State {
    mutable std::mutex mutex;
    std::vector<std::vector<Event>> attempts;
    int live = 0;
  };

 private:
  std::shared_ptr<State> state_;
};

}  // namespace zorvik::campaign
