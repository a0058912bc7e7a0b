// The update history in an SQLite file. The window, the command line and the
// station may share one file, each process writing at the same moment: the
// file runs in WAL mode, and a writer that finds it locked waits (up to
// kBusyTimeoutMs) instead of failing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/update_history.h"

namespace zorvik::history {

class SqliteHistory final : public UpdateHistory {
 public:
  // The layout this code reads and writes, kept in PRAGMA user_version.
  static constexpr int kSchemaVersion = 2;
  static constexpr int kBusyTimeoutMs = 5000;
  // Long enough for another writer's single write, short enough not to be
  // noticed by a person.
  static constexpr int kBriefBusyTimeoutMs = 200;

  // Opens the file, creating it and its parent directories when missing, and
  // brings an older layout up to kSchemaVersion. Throws HistoryError (naming
  // the file) when it cannot be opened or written, is not a database, is
  // some other program's database, or has a newer layout than this code
  // knows; such a file is left as it was.
  explicit SqliteHistory(const std::string& path);
  ~SqliteHistory() override;
  SqliteHistory(const SqliteHistory&) = delete;
  SqliteHistory& operator=(const SqliteHistory&) = delete;

  const std::string& path() const;

  // Safe to call from several threads at once.
  std::int64_t updateStarted(const UpdateStart& start) override;
  using UpdateHistory::serialNumberRead;
  using UpdateHistory::updateEnded;
  void serialNumberRead(std::int64_t id, std::uint32_t serialNumber, LockWait wait) override;
  void updateEnded(std::int64_t id, const UpdateEnd& end, LockWait wait) override;
  std::vector<UpdateRow> rows(std::optional<std::uint32_t> serialNumber = std::nullopt) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The rows of the history at `path`, newest first (of one logger when a
// serial number is given); none when there is no file. Looking at a history
// never makes one: a mistyped path would otherwise list as an empty history
// while the real one went unseen. Throws HistoryError.
std::optional<std::vector<UpdateRow>> existingRows(const std::string& path,
                                                   std::optional<std::uint32_t> serialNumber = std::nullopt);

}  // namespace zorvik::history
