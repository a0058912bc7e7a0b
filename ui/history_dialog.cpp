#include "ui/history_dialog.h"
#include "session/widget_roles.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zorvik::ui {

namespace roles = session::roles;

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

HistoryDialog::HistoryDialog(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName(roles::kHistoryWindow);
  setWindowTitle("Update history");

  historyList_ = new QTreeWidget(this);
  historyList_->setObjectName(roles::kHistoryList);
  historyList_->setRootIsDecorated(false);
  historyList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  historyList_->setSelectionMode(QAbstractItemView::SingleSelection);
  historyList_->setUniformRowHeights(true);
  historyList_->header()->setSectionsClickable(false);  // the order is newest first, always

  historyProblem_ = new QLabel(this);
  historyProblem_->setObjectName(roles::kHistoryProblem);
  historyProblem_->setWordWrap(true);
  historyProblem_->setVisible(false);

  okButton_ = new QPushButton("OK", this);
  okButton_->setObjectName(roles::kOkButton);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(historyProblem_);
  layout->addWidget(historyList_, 1);
  layout->addLayout(buttons);
  resize(760, 360);
}

void HistoryDialog::prepare(const HistoryTable& table) {
  historyList_->clear();
  QStringList headings;
  for (const std::string& h : table.headings) headings << q(h);
  historyList_->setColumnCount(static_cast<int>(headings.size()));
  historyList_->setHeaderLabels(headings);
  for (const auto& cells : table.rows) {
    QStringList texts;
    for (const std::string& c : cells) texts << q(c);
    new QTreeWidgetItem(historyList_, texts);
  }
  for (int column = 0; column < historyList_->columnCount(); ++column) historyList_->resizeColumnToContents(column);
  historyProblem_->setText(q(table.problem));
  historyProblem_->setVisible(!table.problem.empty());
  if (table.problem.empty() && table.rows.empty()) {
    historyProblem_->setText("No updates recorded.");
    historyProblem_->setVisible(true);
  }
}

int HistoryDialog::execute(const HistoryTable& table) {
  prepare(table);
  okButton_->setFocus();
  return exec();
}

}  // namespace zorvik::ui
