#include "engine/run_handle.h"

#include "engine/logger_update.h"

namespace zorvik::engine {

std::unique_ptr<RunWorker> makeLoggerUpdate(RunRequest request, std::shared_ptr<EventSink> sink) {
  return std::make_unique<LoggerUpdate>(std::move(request), std::move(sink));
}

RunHandle::RunHandle(RunRequest request, std::shared_ptr<EventSink> sink, const WorkerFactory& factory)
    : cancel_(request.cancel), state_(std::make_shared<DoneState>()) {
  std::unique_ptr<RunWorker> worker = factory(std::move(request), std::move(sink));
  thread_ = std::jthread([worker = std::move(worker), state = state_]() mutable {
    worker->execute();
    worker.reset();  // the port is closed before anyone learns the run is done
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
  });
}

RunHandle::~RunHandle() {
  if (thread_.joinable()) thread_.join();
}

bool RunHandle::waitFor(std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, limit, [this] { return state_->done; });
}

bool RunHandle::done() const {
  std::lock_guard lock(state_->mutex);
  return state_->done;
}

}  // namespace zorvik::engine
