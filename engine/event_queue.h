// Hands what the runs' threads post to the one thread of a front end that
// has no event loop of its own (the command line, the station's loop, the
// tests' harnesses): items come out in the order they went in, and the
// taking thread sleeps until the next one arrives or its own deadline (the
// end of a pause before a repeat) has passed. push() takes only a short lock
// and never waits for the taker, so a slow front end never holds up a run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace zorvik::engine {

template <class Item>
class EventQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // From any thread. Throws only what allocating the item's place throws.
  void push(Item item) {
    {
      std::lock_guard lock(mutex_);
      items_.push_back(std::move(item));
    }
    ready_.notify_one();
  }

  // The oldest item, waiting for one as long as it takes; with a deadline,
  // nothing once it has passed and the queue is still empty. An item that is
  // there already comes out even when the deadline is over.
  std::optional<Item> take(std::optional<Clock::time_point> deadline = std::nullopt) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return !items_.empty(); };
    if (deadline) {
      if (!ready_.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
      ready_.wait(lock, ready);
    }
    Item item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  // The same, waiting up to `limit` from now.
  std::optional<Item> takeWithin(Clock::duration limit) { return take(Clock::now() + limit); }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> items_;
};

}  // namespace zorvik::engine
