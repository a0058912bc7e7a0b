#include "history/history_listing.h"
#include "history/history_recorder.h"
#include "ui/window_history.h"

namespace zorvik::ui {

struct WindowHistory::Impl {
  Impl(const std::string& path, const std::string& frontEnd) : recorders(path, frontEnd) {}
  history::HistoryRecorders recorders;
};

WindowHistory::WindowHistory(const std::string& path, const std::string& frontEnd)
    : impl_(std::make_unique<Impl>(path, frontEnd)) {}

WindowHistory::~WindowHistory() = default;

std::shared_ptr<session::UpdateRecorder> WindowHistory::recorder() const { return impl_->recorders.make(); }

HistoryTable WindowHistory::table() const {
  HistoryTable table;
  table.headings = history::tableHeadings();
  try {
    for (const history::UpdateRow& row : impl_->recorders.rows()) table.rows.push_back(history::tableCells(row));
  } catch (const history::HistoryError& e) {
    table.problem = std::string("The update history cannot be read (") + e.what() + ").";
  }
  return table;
}

}  // namespace zorvik::ui
