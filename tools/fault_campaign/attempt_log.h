// Records what every worker of an update posts, one list per worker (one per
// attempt), by standing between the worker and the front end's sink.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "comm_thread.h"
#include "verdict.h"

namespace zorvik::campaign {

class AttemptLog {
 public:
  // Installs the recording worker class; call once, before any worker exists.
  static void install();

  // Workers created from now on report here (until the next begin()).
  void begin();
  std::vector<std::vector<Event>> attempts() const;

  std::shared_ptr<EventSink> wrap(std::shared_ptr<EventSink> inner);
  void record(std::size_t attempt, const Event& event);

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<Event>> attempts_;
};

}  // namespace zorvik::campaign
