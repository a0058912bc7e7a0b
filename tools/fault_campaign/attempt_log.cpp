#include "attempt_log.h"

#include <atomic>

#include "zorvik_comm_thread.h"

namespace zorvik::campaign {
namespace {

std::atomic<AttemptLog*> current{nullptr};

class RecordingSink final : public EventSink {
 public:
  RecordingSink(std::shared_ptr<EventSink> inner, AttemptLog& log, std::size_t attempt)
      : inner_(std::move(inner)), log_(log), attempt_(attempt) {}

  void post(std::uint32_t code, std::int32_t value) noexcept override {
    log_.record(attempt_, {code, value});
    inner_->post(code, value);
  }

 private:
  std::shared_ptr<EventSink> inner_;
  AttemptLog& log_;
  std::size_t attempt_;
};

std::unique_ptr<TCommThread> recordingWorker(RunContext context, TCmd cmd, const std::string& port) {
  if (AttemptLog* log = current.load()) context.sink = log->wrap(std::move(context.sink));
  return makeCommThread<TZorvikCommThread>(std::move(context), cmd, port);
}

}  // namespace

void AttemptLog::install() { CommThreadClass = &recordingWorker; }

void AttemptLog::begin() {
  {
    std::lock_guard lock(mutex_);
    attempts_.clear();
  }
  current = this;
}

std::vector<std::vector<Event>> AttemptLog::attempts() const {
  std::lock_guard lock(mutex_);
  return attempts_;
}

std::shared_ptr<EventSink> AttemptLog::wrap(std::shared_ptr<EventSink> inner) {
  std::lock_guard lock(mutex_);
  attempts_.emplace_back();
  return std::make_shared<RecordingSink>(std::move(inner), *this, attempts_.size() - 1);
}

void AttemptLog::record(std::size_t attempt, const Event& event) {
  std::lock_guard lock(mutex_);
  attempts_[attempt].push_back(event);
}

}  // namespace zorvik::campaign
