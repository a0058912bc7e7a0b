#include "ui/message_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

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
constexpr int kTextMargin = 10;  // around the icon and the text
constexpr int kInset = 10;       // from the main window's sides and bottom
}  // namespace

MessageWindow::MessageWindow(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(roles::kMessageWindow);
  setWindowTitle("Information");
  setFont(QFont("Tahoma"));
  setModal(true);

  iconLabel_ = new QLabel(this);
  iconLabel_->setObjectName(roles::kMessageIcon);
  iconLabel_->setAlignment(Qt::AlignTop);
  // Wrapped, and selectable: a cause and fix may be copied into a request for help.
  messageText_ = new QLabel(this);
  messageText_->setObjectName(roles::kMessageText);
  messageText_->setTextFormat(Qt::PlainText);
  messageText_->setWordWrap(true);
  messageText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  messageText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  messageText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
  auto* body = new QHBoxLayout;
  body->setContentsMargins(kTextMargin, kTextMargin, kTextMargin, 0);
  body->setSpacing(kTextMargin);
  body->addWidget(iconLabel_);
  body->addWidget(messageText_, 1);

  auto* panel = new QWidget(this);
  panel->setObjectName(roles::kButtonPanel);
  panel->setFixedHeight(kPanelHeight);
  okButton_ = new QPushButton("OK", panel);
  okButton_->setObjectName(roles::kOkButton);
  okButton_->setFixedWidth(kButtonWidth);
  okButton_->setDefault(true);
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(kMargin, kMargin, kTextMargin, kMargin);
  panelLayout->addStretch();
  panelLayout->addWidget(okButton_);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kMargin);
  layout->addLayout(body, 1);
  layout->addWidget(panel);
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  resize(kClientWidth, kClientHeight);
}

void MessageWindow::place(int x, int y, int w, int h) {
  const QSize extent = frameExtent(this, parentWidget());
  const int width = w - 2 * kInset - extent.width();
  // As designed, unless the text needs more room: then the window grows
  // upwards, its bottom edge staying where the rule puts it.
  const int iconRoom = iconLabel_->sizeHint().width() + kTextMargin;
  const int textHeight = messageText_->heightForWidth(std::max(1, width - 2 * kTextMargin - iconRoom));
  const int height = std::max(kClientHeight, kTextMargin + textHeight + kMargin + kPanelHeight);
  resize(width, height);
  placeFrame(this, x + kInset, y + h - (height + extent.height()) - kInset);
}

void MessageWindow::showMessage(const QString& message, session::MessageIcon icon, int x, int y, int w, int h) {
  icon_ = icon;
  const QStyle::StandardPixmap pixmap =
      icon == session::MessageIcon::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  iconLabel_->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
  messageText_->setText(message);
  place(x, y, w, h);
  okButton_->setFocus();
  exec();
}

QString MessageWindow::text() const { return messageText_->text(); }

}  // namespace zorvik::ui
