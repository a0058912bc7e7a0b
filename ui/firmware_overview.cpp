#include "ui/firmware_overview.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "session/widget_roles.h"
#include "ui/window_geometry.h"

namespace zorvik::ui {

namespace roles = session::roles;

namespace {
constexpr int kPanelHeight = 37;
constexpr int kColumnPadding = 5;
constexpr int kWidthPadding = 30;

QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

FirmwareOverview::FirmwareOverview(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName(roles::kOverviewWindow);
  setWindowTitle("Overview");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);

  overviewList_ = new QTreeWidget(this);
  overviewList_->setObjectName(roles::kOverviewList);
  overviewList_->setColumnCount(6);
  overviewList_->setHeaderLabels({"Firmware", "Version", "Platform", "Print", "Date", "BL"});
  overviewList_->setRootIsDecorated(false);
  overviewList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  overviewList_->setSelectionMode(QAbstractItemView::SingleSelection);
  overviewList_->header()->setSectionsClickable(false);
  overviewList_->header()->setStretchLastSection(false);
  overviewList_->setFocusPolicy(Qt::NoFocus);

  auto* panel = new QWidget(this);
  panel->setObjectName(roles::kButtonPanel);
  panel->setFixedHeight(kPanelHeight);
  okButton_ = new QPushButton("OK", panel);
  okButton_->setObjectName(roles::kOkButton);
  okButton_->setGeometry(13, 7, 98, 24);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(overviewList_);
  layout->addWidget(panel);
  resize(318, 209);
}

void FirmwareOverview::addImageRow(const images::ImageHeader& header) {
  const engine::ImageRow row = engine::imageRow(header);
  new QTreeWidgetItem(overviewList_, {q(row.firmware), q(row.version), q(row.platform), q(row.print), q(row.date),
                                  q(row.bootloader)});
}

int FirmwareOverview::autoSizeColumns() {
  int sum = 0;
  for (int column = 0; column < overviewList_->columnCount(); ++column) {
    const int headerWidth = overviewList_->header()->sectionSizeHint(column);
    overviewList_->resizeColumnToContents(column);
    const int contentWidth = overviewList_->columnWidth(column);
    overviewList_->setColumnWidth(column, std::max(headerWidth, contentWidth) + kColumnPadding);
    sum += overviewList_->columnWidth(column);
  }
  return sum;
}

void FirmwareOverview::prepare(int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader) {
  overviewList_->clear();
  if (fileHeader) addImageRow(*fileHeader);
  for (int i = images::kBuiltInImageCount; i >= 1; --i) addImageRow(images::builtInHeader(i));
  const QSize extent = frameExtent(this, parentWidget());
  placeFrame(this, left, top);
  resize(autoSizeColumns() + kWidthPadding, height - extent.height());
}

int FirmwareOverview::execute(int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader) {
  prepare(left, top, height, fileHeader);
  okButton_->setFocus();
  return exec();
}

}  // namespace zorvik::ui
