#include "ui/port_check_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "diagnostics/doctor.h"
#include "session/widget_roles.h"

namespace zorvik::ui {

namespace roles = session::roles;

namespace {

QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

enum Column { kLevel, kCheck, kFound, kFix };

}  // namespace

PortCheckDialog::PortCheckDialog(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName(roles::kCheckPortWindow);
  setWindowTitle("Check port");

  findingsList_ = new QTreeWidget(this);
  findingsList_->setObjectName(roles::kFindingsList);
  findingsList_->setRootIsDecorated(false);
  findingsList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  findingsList_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The findings and fixes are sentences: they wrap in their columns rather
  // than run out of the dialog.
  findingsList_->setWordWrap(true);
  findingsList_->setUniformRowHeights(false);
  findingsList_->setHeaderLabels({"Level", "Check", "Found", "Fix"});
  findingsList_->header()->setSectionsClickable(false);  // the checks' own order tells the story
  findingsList_->setColumnWidth(kLevel, 70);
  findingsList_->setColumnWidth(kCheck, 100);
  findingsList_->setColumnWidth(kFound, 360);

  summaryText_ = new QLabel(this);
  summaryText_->setObjectName(roles::kSummaryText);
  summaryText_->setWordWrap(true);
  summaryText_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* close = new QPushButton("Close", this);
  close->setObjectName(roles::kCloseButton);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(findingsList_, 1);
  layout->addWidget(summaryText_);
  layout->addLayout(buttons);
  resize(900, 380);
}

void PortCheckDialog::showChecking(const QString& port) {
  findingsList_->clear();
  summaryText_->setText("Checking " + port + " ...");
}

void PortCheckDialog::showNoPort() {
  findingsList_->clear();
  summaryText_->setText(diagnostics::kNoPortChosen);
}

void PortCheckDialog::showFindings(const std::vector<diagnostics::Finding>& findings) {
  findingsList_->clear();
  for (const diagnostics::Finding& f : findings) {
    auto* row = new QTreeWidgetItem(findingsList_, {q(diagnostics::levelName(f.level)), q(f.check), q(f.found), q(f.fix)});
    row->setToolTip(kFound, q(f.found));
    row->setToolTip(kFix, q(f.fix));
  }
  summaryText_->setText(q(diagnostics::summaryLine(findings)));
}

}  // namespace zorvik::ui
