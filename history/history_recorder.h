// The update history as the update session writes it: each update's row
// begun when it starts, its logger's serial number as soon as that is read,
// and completed when it ends, with what its runs learnt. Sits between the
// session (what happened) and the store (where it is kept), so that neither
// knows the other. Only the start is written on the caller's thread (its
// row id is needed); the rest goes through a WriteQueue, so that a history
// file another program holds never delays what the user is told, and a
// write that failed is tried again rather than lost.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "history/update_history.h"
#include "history/write_queue.h"
#include "session/update_recorder.h"

namespace zorvik::history {

class HistoryRecorder final : public session::UpdateRecorder {
 public:
  // `store` null: the history could not be opened; `openProblem` says why,
  // and every update is told so (once) and goes on. `writes` does the
  // writes after the start (on the store); null when `store` is.
  HistoryRecorder(std::shared_ptr<UpdateHistory> store, std::shared_ptr<WriteQueue> writes, std::string frontEnd,
                  std::string operatorName, std::string openProblem = {});

  std::optional<std::string> updateStarted(const engine::RunRequest& request) override;
  std::optional<std::string> serialNumberRead(const engine::RunRequest& request, std::uint32_t serialNumber) override;
  std::optional<std::string> updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) override;

 private:
  std::shared_ptr<UpdateHistory> store_;
  std::shared_ptr<WriteQueue> writes_;
  std::string frontEnd_;
  std::string operatorName_;
  std::string openProblem_;
  std::optional<std::int64_t> row_;  // the row of the update under way
  std::uint32_t serialWritten_ = 0;  // the serial number last queued for it; 0 none
};

// One store opened for a front end, and a recorder for each of its update
// sessions (a recorder follows one update at a time; the store and its
// write queue are shared).
class HistoryRecorders {
 public:
  // How long a failed write waits before it is tried again, and how long
  // the writes left at the end (the recorders destroyed) are still tried.
  static constexpr std::chrono::milliseconds kRetryPause{250};
  static constexpr std::chrono::milliseconds kExitLimit{12000};

  // `path` empty: the default place. `operatorName` empty: the login name.
  // Never fails: a store that cannot be opened gives recorders that say so.
  HistoryRecorders(const std::string& path, std::string frontEnd, std::string operatorName = {},
                   std::chrono::milliseconds retryPause = kRetryPause, std::chrono::milliseconds exitLimit = kExitLimit);
  std::shared_ptr<session::UpdateRecorder> make() const;
  // The store, null when it could not be opened (openProblem says why).
  const std::shared_ptr<UpdateHistory>& store() const { return store_; }
  const std::string& openProblem() const { return openProblem_; }
  // Waits up to `limit` for the writes still pending; true when all are done.
  bool waitUntilWritten(std::chrono::milliseconds limit) const;
  // Why the write still waiting failed last; none when all went through.
  std::optional<std::string> writeProblem() const;

 private:
  std::shared_ptr<UpdateHistory> store_;
  std::shared_ptr<WriteQueue> writes_;
  std::string frontEnd_;
  std::string operatorName_;
  std::string openProblem_;
};

}  // namespace zorvik::history
