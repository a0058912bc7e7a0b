// Writes into the history that must not hold up an update: the serial
// number as it is read and the end of an update. They are done in order on
// a thread of their own, and one that fails (another program holds the file
// longer than the store waits, the disk is full) stays in memory and is
// tried again until it succeeds, so that a success is reported at once and
// its row still ends "finished", not "interrupted".
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "history/update_history.h"

namespace zorvik::history {

class WriteQueue {
 public:
  // Throws HistoryError when it could not be done.
  using Write = std::function<void(UpdateHistory&, LockWait)>;

  // `retryPause`: the wait between attempts of a failed write. `exitLimit`:
  // how long the destructor keeps trying what is still unwritten.
  WriteQueue(std::shared_ptr<UpdateHistory> store, std::chrono::milliseconds retryPause,
             std::chrono::milliseconds exitLimit);
  ~WriteQueue();
  WriteQueue(const WriteQueue&) = delete;
  WriteQueue& operator=(const WriteQueue&) = delete;

  // Returns at once. With nothing waiting before it, the write is tried here
  // and now, waiting only briefly for a file another program holds; otherwise,
  // or when that fails, it waits its turn on the queue's thread.
  void add(Write write);
  // Why the write at the head failed last, while it is still waiting for
  // another attempt; none when every write so far went through.
  std::optional<std::string> problem() const;
  // Waits up to `limit` until every write added is done; true when they are.
  bool waitUntilWritten(std::chrono::milliseconds limit);

 private:
  void work();

  std::shared_ptr<UpdateHistory> store_;
  std::chrono::milliseconds retryPause_;
  std::chrono::milliseconds exitLimit_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Write> writes_;
  std::optional<std::string> problem_;
  bool busy_ = false;  // the worker holds a write taken off the queue
  bool stopping_ = false;
  std::thread worker_;  // last: starts once everything it uses is built
};

}  // namespace zorvik::history
