#include "history/write_queue.h"

namespace zorvik::history {

WriteQueue::WriteQueue(std::shared_ptr<UpdateHistory> store, std::chrono::milliseconds retryPause,
                       std::chrono::milliseconds exitLimit)
    : store_(std::move(store)), retryPause_(retryPause), exitLimit_(exitLimit), worker_([this] { work(); }) {}

WriteQueue::~WriteQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void WriteQueue::add(Write write) {
  std::unique_lock lock(mutex_);
  if (writes_.empty() && !busy_) {
    try {
      write(*store_, LockWait::Brief);
      problem_.reset();
      return;
    } catch (const NoSuchRow&) {
      return;
    } catch (const HistoryError& e) {
      problem_ = e.what();
    }
  }
  writes_.push_back(std::move(write));
  lock.unlock();
  changed_.notify_all();
}

std::optional<std::string> WriteQueue::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

bool WriteQueue::waitUntilWritten(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return writes_.empty() && !busy_; });
}

void WriteQueue::work() {
  std::unique_lock lock(mutex_);
  std::optional<std::chrono::steady_clock::time_point> giveUp;
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !writes_.empty(); });
    if (stopping_ && !giveUp) giveUp = std::chrono::steady_clock::now() + exitLimit_;
    if (writes_.empty()) return;
    if (giveUp && std::chrono::steady_clock::now() >= *giveUp) return;
    Write write = writes_.front();
    busy_ = true;
    lock.unlock();
    std::optional<std::string> failed;
    try {
      write(*store_, LockWait::Wait);
    } catch (const NoSuchRow&) {
      // Nothing to write into: dropped, as another attempt would fail alike.
    } catch (const HistoryError& e) {
      failed = e.what();
    }
    lock.lock();
    busy_ = false;
    problem_ = failed;
    if (!failed) {
      writes_.pop_front();
      changed_.notify_all();
      continue;
    }
    // Kept at the head: what comes after it (the end after the serial
    // number) must not overtake it.
    const auto next = std::chrono::steady_clock::now() + retryPause_;
    changed_.wait_until(lock, giveUp ? std::min(next, *giveUp) : next, [this, &giveUp] {
      return stopping_ && !giveUp;
    });
  }
}

}  // namespace zorvik::history
