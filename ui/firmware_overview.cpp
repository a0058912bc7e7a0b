#include "ui/firmware_overview.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "ui/window_geometry.h"

namespace zorvik::ui {

namespace {
constexpr int kPanelHeight = 37;
constexpr int kColumnPadding = 5;
constexpr int kWidthPadding = 30;

QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

FirmwareOverview::FirmwareOverview(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("frmInfo");
  setWindowTitle("Overview");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);

  list_ = new QTreeWidget(this);
  list_->setObjectName("ListView1");
  list_->setColumnCount(6);
  list_->setHeaderLabels({"Firmware", "Version", "Platform", "Print", "Date", "BL"});
  list_->setRootIsDecorated(false);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setSectionsClickable(false);
  list_->header()->setStretchLastSection(false);
  list_->setFocusPolicy(Qt::NoFocus);

  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setFixedHeight(kPanelHeight);
  okButton_ = new QPushButton("OK", panel);
  okButton_->setObjectName("Button1");
  okButton_->setGeometry(13, 7, 98, 24);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(list_);
  layout->addWidget(panel);
  resize(318, 209);
}

void FirmwareOverview::addImageRow(const ImageHeader& header) {
  const ImageRow row = imageRow(header);
  new QTreeWidgetItem(list_, {q(row.firmware), q(row.version), q(row.platform), q(row.print), q(row.date),
                                  q(row.bootloader)});
}

int FirmwareOverview::autoSizeColumns() {
  int sum = 0;
  for (int column = 0; column < list_->columnCount(); ++column) {
    const int headerWidth = list_->header()->sectionSizeHint(column);
    list_->resizeColumnToContents(column);
    const int contentWidth = list_->columnWidth(column);
    list_->setColumnWidth(column, std::max(headerWidth, contentWidth) + kColumnPadding);
    sum += list_->columnWidth(column);
  }
  return sum;
}

void FirmwareOverview::prepare(int left, int top, int height, const std::optional<ImageHeader>& fileHeader) {
  list_->clear();
  if (fileHeader) addImageRow(*fileHeader);
  for (int i = kBuiltInImageCount; i >= 1; --i) addImageRow(builtInHeader(i));
  const QSize extent = frameExtent(this, parentWidget());
  placeFrame(this, left, top);
  resize(autoSizeColumns() + kWidthPadding, height - extent.height());
}

int FirmwareOverview::execute(int left, int top, int height, const std::optional<ImageHeader>& fileHeader) {
  prepare(left, top, height, fileHeader);
  okButton_->setFocus();
  return exec();
}

}  // namespace zorvik::ui
