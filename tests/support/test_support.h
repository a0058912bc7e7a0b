// Shared pieces of the tests: a sink that records what the update thread
// posts (and, from recording_sleeper.h, the pause recorder).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "event_sink.h"
#include "link.h"
#include "recording_sleeper.h"

namespace zorvik::testing {

struct Event {
  std::uint32_t code;
  std::int32_t value;
  friend bool operator==(const Event&, const Event&) = default;
};

class RecordingSink final : public EventSink {
 public:
  void post(std::uint32_t code, std::int32_t value) noexcept override {
    std::lock_guard lock(mutex_);
    events_.push_back({code, value});
    changed_.notify_all();
  }

  // Waits until a final event (0, 10, 13) has arrived; false on timeout.
  bool waitForFinal(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finalCountLocked() > 0; });
  }

  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  int finalCount() const {
    std::lock_guard lock(mutex_);
    return finalCountLocked();
  }

 private:
  int finalCountLocked() const {
    int n = 0;
    for (const auto& e : events_) n += (e.code == 0 || e.code == 10 || e.code == 13) ? 1 : 0;
    return n;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};


}  // namespace zorvik::testing
