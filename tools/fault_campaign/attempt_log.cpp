#include "tools/fault_campaign/attempt_log.h"

#include "engine/logger_update.h"

namespace zorvik::campaign {
namespace {

using State = AttemptLog::State;

class RecordingSink final : public engine::EventSink {
 public:
  RecordingSink(std::shared_ptr<engine::EventSink> inner, std::shared_ptr<State> state, std::size_t attempt)
      : inner_(std::move(inner)), state_(std::move(state)), attempt_(attempt) {}

  void post(engine::RunEvent event) noexcept override {
    try {
      std::lock_guard lock(state_->mutex);
      state_->attempts[attempt_].push_back({event.code, event.value});
    } catch (...) {
      // Out of memory for the record: the update itself must still hear it.
    }
    inner_->post(std::move(event));
  }

 private:
  std::shared_ptr<engine::EventSink> inner_;
  std::shared_ptr<State> state_;
  std::size_t attempt_;
};

// The real update procedure; only its lifetime is counted.
class CountedUpdate final : public engine::LoggerUpdate {
 public:
  CountedUpdate(engine::RunRequest request, std::shared_ptr<engine::EventSink> sink, std::shared_ptr<State> state)
      : LoggerUpdate(std::move(request), std::move(sink)), state_(std::move(state)) {
    std::lock_guard lock(state_->mutex);
    ++state_->live;
  }
  ~CountedUpdate() override {
    std::lock_guard lock(state_->mutex);
    --state_->live;
  }
  CountedUpdate(const CountedUpdate&) = delete;
  CountedUpdate& operator=(const CountedUpdate&) = delete;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

AttemptLog::AttemptLog() : state_(std::make_shared<State>()) {}

engine::WorkerFactory AttemptLog::factory() const {
  return [state = state_](engine::RunRequest request, std::shared_ptr<engine::EventSink> sink) -> std::unique_ptr<engine::RunWorker> {
    std::size_t attempt = 0;
    {
      std::lock_guard lock(state->mutex);
      state->attempts.emplace_back();
      attempt = state->attempts.size() - 1;
    }
    auto recording = std::make_shared<RecordingSink>(std::move(sink), state, attempt);
    return std::make_unique<CountedUpdate>(std::move(request), std::move(recording), state);
  };
}

std::vector<std::vector<Event>> AttemptLog::attempts() const {
  std::lock_guard lock(state_->mutex);
  return state_->attempts;
}

int AttemptLog::liveWorkers() const {
  std::lock_guard lock(state_->mutex);
  return state_->live;
}

}  // namespace zorvik::campaign
