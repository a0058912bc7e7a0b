#include "message_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "window_geometry.h"

namespace zorvik::ui {

namespace {
constexpr int kClientWidth = 435;
constexpr int kClientHeight = 101;
constexpr int kPanelHeight = 45;
constexpr int kButtonWidth = 93;
constexpr int kMargin = 3;
constexpr int kInset = 10;  // from the main window's sides and bottom
}  // namespace

TfrmMessage::TfrmMessage(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmMessage");
  setWindowTitle("Information");
  setFont(QFont("Tahoma"));
  setModal(true);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setMinimumHeight(10);  // the window keeps its designed height

  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setFixedHeight(kPanelHeight);
  Button1 = new QPushButton("OK", panel);
  Button1->setObjectName("Button1");
  Button1->setFixedWidth(kButtonWidth);
  Button1->setDefault(true);
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  panelLayout->addWidget(Button1);
  panelLayout->addStretch();
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, 0);
  layout->setSpacing(kMargin);
  layout->addWidget(Memo1);
  layout->addWidget(panel);
  resize(kClientWidth, kClientHeight);
}

void TfrmMessage::place(int x, int y, int w, int h) {
  const QSize extent = FrameExtent(this, parentWidget());
  const int outerHeight = kClientHeight + extent.height();
  resize(w - 2 * kInset - extent.width(), kClientHeight);
  PlaceFrame(this, x + kInset, y + h - outerHeight - kInset);
}

void TfrmMessage::showMsg(const QString& sMsg, int x, int y, int w, int h) {
  place(x, y, w, h);
  Memo1->setPlainText(sMsg);
  Button1->setFocus();
  exec();
}

QString TfrmMessage::text() const { return Memo1->toPlainText(); }

}  // namespace zorvik::ui
