// Private to its library.
// The update history as the windows keep and show it: one store opened per
// window, a recorder for each of its update sessions, and the rows as a
// table for the "History" list. Platform file: Linux keeps the history in
// SQLite (history/); a build without it keeps none and says so.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "session/update_recorder.h"

namespace zorvik::ui {

// The rows newest first, as cells under their headings; or why none can be shown.
struct HistoryTable {
  std::vector<std::string> headings;
  std::vector<std::vector<std::string>> rows;
  std::string problem;  // empty when the rows could be read
};

class WindowHistory {
 public:
  // `path` empty: the default place. Never fails: a history that cannot be
  // opened gives recorders that say so once per update, and the update goes on.
  WindowHistory(const std::string& path, const std::string& frontEnd);
  ~WindowHistory();
  WindowHistory(const WindowHistory&) = delete;
  WindowHistory& operator=(const WindowHistory&) = delete;

  // For one update session; null where no history is kept.
  std::shared_ptr<session::UpdateRecorder> recorder() const;
  HistoryTable table() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::ui
