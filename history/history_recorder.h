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
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "history/update_history.h"
#include "history/write_queue.h"
#include "session/update_recorder.h"

namespace zorvik::history {

// The history file of a front end, opened when it is first needed: a program
// that is only started, or only shows the list, makes no history file (and
// no folder for it). Safe to use from several threads.
class HistoryFile {
 public:
  // `path` empty: the default place.
  HistoryFile(std::string path, std::chrono::milliseconds retryPause, std::chrono::milliseconds exitLimit);

  struct Opened {
    std::shared_ptr<UpdateHistory> store;  // null when it could not be opened
    std::shared_ptr<WriteQueue> writes;    // null with it
    std::string problem;                   // why not
  };
  // Opens it the first time (creating it when missing); later calls give
  // what the first one found.
  const Opened& open();
  // The rows newest first; none when no history file exists yet, without
  // making one. Throws HistoryError.
  std::vector<UpdateRow> rows();
  // The write queue once the file is open; null before.
  std::shared_ptr<WriteQueue> writes() const;

 private:
  std::string filePath() const;  // the default place when none was given; throws HistoryError

  std::string path_;
  std::chrono::milliseconds retryPause_;
  std::chrono::milliseconds exitLimit_;
  mutable std::mutex mutex_;
  std::optional<Opened> opened_;
};

class HistoryRecorder final : public session::UpdateRecorder {
 public:
  // A file that cannot be opened is said once per update, and the update
  // goes on.
  HistoryRecorder(std::shared_ptr<HistoryFile> file, std::string frontEnd, std::string operatorName);

  std::optional<std::string> updateStarted(const engine::RunRequest& request) override;
  std::optional<std::string> serialNumberRead(const engine::RunRequest& request, std::uint32_t serialNumber) override;
  std::optional<std::string> updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) override;

 private:
  std::shared_ptr<HistoryFile> file_;
  std::shared_ptr<UpdateHistory> store_;  // from the file, once the update has started
  std::shared_ptr<WriteQueue> writes_;
  std::string frontEnd_;
  std::string operatorName_;
  std::optional<std::int64_t> row_;  // the row of the update under way
  std::uint32_t serialWritten_ = 0;  // the serial number last queued for it; 0 none
};

// One history file for a front end, and a recorder for each of its update
// sessions (a recorder follows one update at a time; the file, its store and
// its write queue are shared).
class HistoryRecorders {
 public:
  // How long a failed write waits before it is tried again, and how long
  // the writes left at the end (the recorders destroyed) are still tried.
  static constexpr std::chrono::milliseconds kRetryPause{250};
  static constexpr std::chrono::milliseconds kExitLimit{12000};

  // `path` empty: the default place. `operatorName` empty: the login name.
  // Never fails: a file that cannot be opened gives recorders that say so.
  HistoryRecorders(const std::string& path, std::string frontEnd, std::string operatorName = {},
                   std::chrono::milliseconds retryPause = kRetryPause, std::chrono::milliseconds exitLimit = kExitLimit);
  std::shared_ptr<session::UpdateRecorder> make() const;
  // The rows newest first, none while no history file exists. Throws HistoryError.
  std::vector<UpdateRow> rows() const { return file_->rows(); }
  // Waits up to `limit` for the writes still pending; true when all are done.
  bool waitUntilWritten(std::chrono::milliseconds limit) const;
  // Why the write still waiting failed last; none when all went through.
  std::optional<std::string> writeProblem() const;

 private:
  std::shared_ptr<HistoryFile> file_;
  std::string frontEnd_;
  std::string operatorName_;
};

}  // namespace zorvik::history
