// Private to its library.
// "Info" -> "Check port": what the port doctor finds for the port in the port
// box, one row per check (level, check, what was found, the fix) and the
// summary line the command line's doctor ends with. It stays open beside the
// main window; the check itself runs elsewhere (port_check.h).
#pragma once

#include <QDialog>
#include <vector>

#include "diagnostics/finding.h"

class QLabel;
class QTreeWidget;

namespace zorvik::ui {

class PortCheckDialog : public QDialog {
 public:
  explicit PortCheckDialog(QWidget* mainWindow);

  // A check of `port` has started: no rows, "Checking <port> ...".
  void showChecking(const QString& port);
  // The port box is empty: nothing to check.
  void showNoPort();
  void showFindings(const std::vector<diagnostics::Finding>& findings);

  QTreeWidget* list() const { return findingsList_; }
  // "Checking ..." while a check runs, then the summary line.
  QLabel* line() const { return summaryText_; }

 private:
  QTreeWidget* findingsList_;
  QLabel* summaryText_;
};

}  // namespace zorvik::ui
