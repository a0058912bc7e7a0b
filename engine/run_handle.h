// A run in progress, owned by whoever started it. The run's thread belongs to
// the handle (never detached, nothing registered process-wide): cancel it,
// wait for it with a limit, or ask whether it is done. Destroying the handle
// waits for the thread; a run always ends, at the latest at its next exchange
// attempt after a cancel (about a second), so that wait is bounded.
//
// Thread safety: a handle is used by the thread that owns it; the run's own
// thread touches only the done state, under its mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/event_sink.h"
#include "engine/run_request.h"
#include "engine/run_worker.h"

namespace zorvik::engine {

// Builds the worker of a run. Front ends pass makeLoggerUpdate; tests and
// fuzzers pass a worker with a port of their own.
using WorkerFactory = std::function<std::unique_ptr<RunWorker>(RunRequest, std::shared_ptr<EventSink>)>;
std::unique_ptr<RunWorker> makeLoggerUpdate(RunRequest request, std::shared_ptr<EventSink> sink);

class RunHandle {
 public:
  // Starts the run on a thread of its own. Throws std::system_error when no
  // thread can be had (nothing has been posted then).
  RunHandle(RunRequest request, std::shared_ptr<EventSink> sink, const WorkerFactory& factory = makeLoggerUpdate);
  ~RunHandle();
  RunHandle(const RunHandle&) = delete;
  RunHandle& operator=(const RunHandle&) = delete;

  // The run ends with error 20 at its next exchange attempt. The cancel
  // reaches every repeat made with the same request.
  void cancel() const { cancel_.cancel(); }
  // True once the run has posted its final event and let go of the port;
  // false when the limit passed first.
  bool waitFor(std::chrono::milliseconds limit) const;
  bool done() const;

 private:
  struct DoneState {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };

  link::CancelToken cancel_;
  std::shared_ptr<DoneState> state_;
  std::jthread thread_;
};

}  // namespace zorvik::engine
