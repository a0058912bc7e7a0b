#include "ui/port_check_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "diagnostics/doctor.h"

namespace zorvik::ui {

namespace {

QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

enum Column { kLevel, kCheck, kFound, kFix };

}  // namespace

PortCheckDialog::PortCheckDialog(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("frmPortCheck");
  setWindowTitle("Check port");

  list_ = new QTreeWidget(this);
  list_->setObjectName("lvwFindings");
  list_->setRootIsDecorated(false);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The findings and fixes are sentences: they wrap in their columns rather
  // than run out of the dialog.
  list_->setWordWrap(true);
  list_->setUniformRowHeights(false);
  list_->setHeaderLabels({"Level", "Check", "Found", "Fix"});
  list_->header()->setSectionsClickable(false);  // the checks' own order tells the story
  list_->setColumnWidth(kLevel, 70);
  list_->setColumnWidth(kCheck, 100);
  list_->setColumnWidth(kFound, 360);

  line_ = new QLabel(this);
  line_->setObjectName("lblCheckLine");
  line_->setWordWrap(true);
  line_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* close = new QPushButton("Close", this);
  close->setObjectName("Button1");
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(line_);
  layout->addLayout(buttons);
  resize(900, 380);
}

void PortCheckDialog::showChecking(const QString& port) {
  list_->clear();
  line_->setText("Checking " + port + " ...");
}

void PortCheckDialog::showNoPort() {
  list_->clear();
  line_->setText(diagnostics::kNoPortChosen);
}

void PortCheckDialog::showFindings(const std::vector<diagnostics::Finding>& findings) {
  list_->clear();
  for (const diagnostics::Finding& f : findings) {
    auto* row = new QTreeWidgetItem(list_, {q(diagnostics::levelName(f.level)), q(f.check), q(f.found), q(f.fix)});
    row->setToolTip(kFound, q(f.found));
    row->setToolTip(kFix, q(f.fix));
  }
  line_->setText(q(diagnostics::summaryLine(findings)));
}

}  // namespace zorvik::ui
