#include "ui/history_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zorvik::ui {

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

HistoryDialog::HistoryDialog(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("frmHistory");
  setWindowTitle("Update history");

  list_ = new QTreeWidget(this);
  list_->setObjectName("lvwHistory");
  list_->setRootIsDecorated(false);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setUniformRowHeights(true);
  list_->header()->setSectionsClickable(false);  // the order is newest first, always

  problem_ = new QLabel(this);
  problem_->setObjectName("lblHistoryProblem");
  problem_->setWordWrap(true);
  problem_->setVisible(false);

  okButton_ = new QPushButton("OK", this);
  okButton_->setObjectName("Button1");
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(problem_);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(760, 360);
}

void HistoryDialog::prepare(const HistoryTable& table) {
  list_->clear();
  QStringList headings;
  for (const std::string& h : table.headings) headings << q(h);
  list_->setColumnCount(static_cast<int>(headings.size()));
  list_->setHeaderLabels(headings);
  for (const auto& cells : table.rows) {
    QStringList texts;
    for (const std::string& c : cells) texts << q(c);
    new QTreeWidgetItem(list_, texts);
  }
  for (int column = 0; column < list_->columnCount(); ++column) list_->resizeColumnToContents(column);
  problem_->setText(q(table.problem));
  problem_->setVisible(!table.problem.empty());
  if (table.problem.empty() && table.rows.empty()) {
    problem_->setText("No updates recorded.");
    problem_->setVisible(true);
  }
}

int HistoryDialog::execute(const HistoryTable& table) {
  prepare(table);
  okButton_->setFocus();
  return exec();
}

}  // namespace zorvik::ui
