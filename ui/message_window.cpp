#include "ui/message_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/widget_roles.h"
#include "ui/window_geometry.h"

namespace zorvik::ui {

namespace roles = session::roles;

namespace {
constexpr int kClientWidth = 435;
constexpr int kClientHeight = 101;
constexpr int kPanelHeight = 45;
constexpr int kButtonWidth = 93;
constexpr int kMargin = 3;
constexpr int kInset = 10;  // from the main window's sides and bottom
}  // namespace

MessageWindow::MessageWindow(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(roles::kMessageWindow);
  setWindowTitle("Information");
  setFont(QFont("Tahoma"));
  setModal(true);

  messageText_ = new QPlainTextEdit(this);
  messageText_->setObjectName(roles::kMessageText);
  messageText_->setReadOnly(true);
  messageText_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  messageText_->setMinimumHeight(10);  // the window keeps its designed height

  auto* panel = new QWidget(this);
  panel->setObjectName(roles::kButtonPanel);
  panel->setFixedHeight(kPanelHeight);
  okButton_ = new QPushButton("OK", panel);
  okButton_->setObjectName(roles::kOkButton);
  okButton_->setFixedWidth(kButtonWidth);
  okButton_->setDefault(true);
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  panelLayout->addWidget(okButton_);
  panelLayout->addStretch();
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, 0);
  layout->setSpacing(kMargin);
  layout->addWidget(messageText_);
  layout->addWidget(panel);
  resize(kClientWidth, kClientHeight);
}

void MessageWindow::place(int x, int y, int w, int h) {
  const QSize extent = frameExtent(this, parentWidget());
  const int outerHeight = kClientHeight + extent.height();
  resize(w - 2 * kInset - extent.width(), kClientHeight);
  placeFrame(this, x + kInset, y + h - outerHeight - kInset);
}

void MessageWindow::showMessage(const QString& message, int x, int y, int w, int h) {
  place(x, y, w, h);
  messageText_->setPlainText(message);
  okButton_->setFocus();
  exec();
}

QString MessageWindow::text() const { return messageText_->toPlainText(); }

}  // namespace zorvik::ui
