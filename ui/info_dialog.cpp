#include "info_dialog.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "event_texts.h"
#include "window_geometry.h"

namespace zorvik::ui {

namespace {
constexpr int kPanelHeight = 37;
constexpr int kColumnPadding = 5;
constexpr int kWidthPadding = 30;

QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

TfrmInfo::TfrmInfo(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("frmInfo");
  setWindowTitle("Overview");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);

  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName("ListView1");
  ListView1->setColumnCount(6);
  ListView1->setHeaderLabels({"Firmware", "Version", "Platform", "Print", "Date", "BL"});
  ListView1->setRootIsDecorated(false);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->header()->setSectionsClickable(false);
  ListView1->header()->setStretchLastSection(false);
  ListView1->setFocusPolicy(Qt::NoFocus);

  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setFixedHeight(kPanelHeight);
  Button1 = new QPushButton("OK", panel);
  Button1->setObjectName("Button1");
  Button1->setGeometry(13, 7, 98, 24);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListView1);
  layout->addWidget(panel);
  resize(318, 209);
}

void TfrmInfo::AddImageRow(const TBl3FileHeader& header) {
  const ImageRow row = imageRow(header);
  new QTreeWidgetItem(ListView1, {q(row.firmware), q(row.version), q(row.platform), q(row.print), q(row.date),
                                  q(row.bootloader)});
}

int TfrmInfo::AutoSizeColumns() {
  int sum = 0;
  for (int column = 0; column < ListView1->columnCount(); ++column) {
    const int headerWidth = ListView1->header()->sectionSizeHint(column);
    ListView1->resizeColumnToContents(column);
    const int contentWidth = ListView1->columnWidth(column);
    ListView1->setColumnWidth(column, std::max(headerWidth, contentWidth) + kColumnPadding);
    sum += ListView1->columnWidth(column);
  }
  return sum;
}

void TfrmInfo::prepare(int ALeft, int ATop, int AHeight) {
  ListView1->clear();
  if (SelectedImage.load() == 0) AddImageRow(GetFirmwareHeader(0));
  for (int i = FirmwareImageCount(); i >= 1; --i) AddImageRow(GetFirmwareHeader(i));
  const QSize extent = FrameExtent(this, parentWidget());
  PlaceFrame(this, ALeft, ATop);
  resize(AutoSizeColumns() + kWidthPadding, AHeight - extent.height());
}

int TfrmInfo::Execute(int ALeft, int ATop, int /*AWidth*/, int AHeight) {
  prepare(ALeft, ATop, AHeight);
  Button1->setFocus();
  return exec();
}

}  // namespace zorvik::ui
