// Shared pieces of the tests: a sink that records what a run posts, one that
// can also hold a run at a chosen event (and, from recording_sleeper.h, the
// pause recorder).
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/event_sink.h"
#include "engine/events.h"
#include "images/image_header.h"
#include "tests/support/recording_sleeper.h"

namespace zorvik::testing {

// An event without its image, for comparing whole event sequences.
struct Event {
  std::uint32_t code;
  std::int32_t value;
  friend bool operator==(const Event&, const Event&) = default;
};

class RecordingSink final : public engine::EventSink {
 public:
  void post(engine::RunEvent event) noexcept override {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  // Waits until a final event (0, 10, 13) has arrived; false on timeout.
  bool waitForFinal(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finalCountLocked() > 0; });
  }

  // Code and value of every event, in order of posting.
  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    std::vector<Event> out;
    out.reserve(events_.size());
    for (const auto& e : events_) out.push_back({e.code, e.value});
    return out;
  }

  // Every event as posted, with the image it carries.
  std::vector<engine::RunEvent> runEvents() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  int finalCount() const {
    std::lock_guard lock(mutex_);
    return finalCountLocked();
  }

 private:
  int finalCountLocked() const {
    return static_cast<int>(
        std::count_if(events_.begin(), events_.end(), [](const engine::RunEvent& e) { return engine::isFinalEvent(e.code); }));
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<engine::RunEvent> events_;
};

// Records like RecordingSink, and holds the run inside the post of the first
// event that `holdAt` picks until the test releases it. The test then knows
// where the run is without any timing: a cancel issued while it is held lands
// exactly there. Without a predicate it never holds.
class HoldingSink final : public engine::EventSink {
 public:
  explicit HoldingSink(std::function<bool(const engine::RunEvent&)> holdAt = nullptr) : holdAt_(std::move(holdAt)) {}
  ~HoldingSink() override { release(); }

  void post(engine::RunEvent event) noexcept override {
    {
      std::unique_lock lock(mutex_);
      if (!held_ && holdAt_ && holdAt_(event)) {
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
      }
    }
    recorded_.post(std::move(event));
  }

  // Waits until the run is held; false on timeout.
  bool waitUntilHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  std::vector<Event> events() const { return recorded_.events(); }
  std::vector<engine::RunEvent> runEvents() const { return recorded_.runEvents(); }
  int finalCount() const { return recorded_.finalCount(); }

 private:
  std::function<bool(const engine::RunEvent&)> holdAt_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
  RecordingSink recorded_;
};

// The events of one code, image and all.
inline std::vector<engine::RunEvent> eventsWithCode(const std::vector<engine::RunEvent>& events, std::uint32_t code) {
  std::vector<engine::RunEvent> out;
  std::copy_if(events.begin(), events.end(), std::back_inserter(out),
               [&](const engine::RunEvent& e) { return e.code == code; });
  return out;
}

}  // namespace zorvik::testing
