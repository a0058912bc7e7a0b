// Where a run reports to. A front end supplies one per run (or one shared by
// its runs): the desktop application posts Qt events to its window, the
// command line feeds a queue read by its main thread.
#pragma once

#include "engine/events.h"

namespace zorvik::engine {

class EventSink {
 public:
  virtual ~EventSink() = default;
  // Called from the run's thread. Must not block on the receiver and must
  // deliver events in the order of posting.
  virtual void post(RunEvent event) noexcept = 0;
};

}  // namespace zorvik::engine
