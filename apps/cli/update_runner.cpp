#include "update_runner.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "catalogue.h"
#include "comm_thread.h"
#include "events.h"
#include "run_options.h"
#include "serial_port.h"

namespace zorvik::cli {
namespace {

// Hands the worker's events to the main thread in posting order. post() only
// takes a short lock: it never waits for the reader.
class QueueSink final : public EventSink {
 public:
  void post(std::uint32_t code, std::int32_t value) noexcept override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({code, value});
    }
    ready_.notify_one();
  }

  std::pair<std::uint32_t, std::int32_t> take() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty(); });
    auto event = queue_.front();
    queue_.pop_front();
    return event;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::pair<std::uint32_t, std::int32_t>> queue_;
};

int exitStatusForError(std::int32_t code) {
  switch (code) {
    case 10: case 11: case 20: case 40: case 41: case 42: case 43:
    case 44: case 45: case 46: case 47: case 70:
      return code;
    default:
      return 1;
  }
}

struct AttemptResult {
  RepeatKind repeat = RepeatKind::None;
  int exitStatus = 0;
};

AttemptResult runAttempt(const UpdateRequest& request, const std::shared_ptr<UpdateMemory>& memory,
                         ConsoleOutput& output, Sleeper& sleeper) {
  auto sink = std::make_shared<QueueSink>();
  TCommThread::Create(RunContext{sink, memory, &sleeper}, tCMD0, request.port);
  for (;;) {
    const auto [code, value] = sink->take();
    const EventPresentation p = presentEvent(code, value, request.port);
    output.event(code, value, p);
    if (code == kEvError && value == kErrPortNotReady) {
      const std::string hint = rs232OpenFailureHint(request.port);
      if (!hint.empty()) output.note(hint);
    }
    if (code == kEvSuccess) return {RepeatKind::None, 0};
    if (code == kEvNoAnswer) return {RepeatKind::AfterPause, kErrNoAnswer};
    if (code == kEvError) return {p.repeat, exitStatusForError(value)};
  }
}

}  // namespace

int runUpdateWithRepeats(const UpdateRequest& request, ConsoleOutput& output, Sleeper& sleeper) {
  // Every attempt of this one update shares what earlier attempts learnt.
  const auto memory = std::make_shared<UpdateMemory>();
  SelectedImage = request.externalImage ? 0 : -1;
  ReadInfoOnly = request.readInfoOnly;
  bool restoreCancel = false;
  bool savedCancel = false;
  for (int attempt = 1;; ++attempt) {
    output.runStarted(request.port, attempt);
    CancelRequested = false;
    if (restoreCancel) CancelRequested = savedCancel;
    const AttemptResult result = runAttempt(request, memory, output, sleeper);
    if (result.repeat == RepeatKind::None) return result.exitStatus;
    if (request.maxRepeats >= 0 && attempt > request.maxRepeats) return result.exitStatus;
    restoreCancel = result.repeat == RepeatKind::AfterPause;
    if (restoreCancel) {
      sleeper.sleepMs(kRepeatPauseMs);
      // Read after the pause: a Ctrl-C during the pause cancels the repeat.
      savedCancel = CancelRequested.load();
    }
  }
}

}  // namespace zorvik::cli
