#include "ui/window_history.h"

namespace zorvik::ui {

// This build keeps no history (no SQLite for it in our package sources).
struct WindowHistory::Impl {};

WindowHistory::WindowHistory(const std::string&, const std::string&) : impl_(std::make_unique<Impl>()) {}

WindowHistory::~WindowHistory() = default;

std::shared_ptr<session::UpdateRecorder> WindowHistory::recorder() const { return nullptr; }

HistoryTable WindowHistory::table() const {
  HistoryTable table;
  table.problem = "This build keeps no update history.";
  return table;
}

}  // namespace zorvik::ui
