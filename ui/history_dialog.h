// Private to its library.
// "Info" -> "History": every update recorded, newest first, one row each
// (start time, port, serial number, versions, result, duration, front end),
// or why the history cannot be read.
#pragma once

#include <QDialog>

#include "ui/window_history.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace zorvik::ui {

class HistoryDialog : public QDialog {
 public:
  explicit HistoryDialog(QWidget* mainWindow);

  // Fills the list and shows the dialog modally.
  int execute(const HistoryTable& table);
  void prepare(const HistoryTable& table);

  QTreeWidget* list() const { return historyList_; }
  QLabel* problem() const { return historyProblem_; }

 private:
  QTreeWidget* historyList_;
  QLabel* historyProblem_;
  QPushButton* okButton_;
};

}  // namespace zorvik::ui
