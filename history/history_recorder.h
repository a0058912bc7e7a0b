// The update history as the update session writes it: each update's row
// begun when it starts and completed when it ends, with what its runs
// learnt. Sits between the session (what happened) and the store (where it
// is kept), so that neither knows the other.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "history/update_history.h"
#include "session/update_recorder.h"

namespace zorvik::history {

class HistoryRecorder final : public session::UpdateRecorder {
 public:
  // `store` null: the history could not be opened; `openProblem` says why,
  // and every update is told so (once) and goes on.
  HistoryRecorder(std::shared_ptr<UpdateHistory> store, std::string frontEnd, std::string openProblem = {});

  std::optional<std::string> updateStarted(const engine::RunRequest& request) override;
  std::optional<std::string> updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) override;

 private:
  std::shared_ptr<UpdateHistory> store_;
  std::string frontEnd_;
  std::string openProblem_;
  std::optional<std::int64_t> row_;  // the row of the update under way
};

// One store opened for a front end, and a recorder for each of its update
// sessions (a recorder follows one update at a time; the store is shared).
class HistoryRecorders {
 public:
  // `path` empty: the default place. Never fails: a store that cannot be
  // opened gives recorders that say so.
  HistoryRecorders(const std::string& path, std::string frontEnd);
  std::shared_ptr<session::UpdateRecorder> make() const;
  // The store, null when it could not be opened (openProblem says why).
  const std::shared_ptr<UpdateHistory>& store() const { return store_; }
  const std::string& openProblem() const { return openProblem_; }

 private:
  std::shared_ptr<UpdateHistory> store_;
  std::string frontEnd_;
  std::string openProblem_;
};

}  // namespace zorvik::history
