#include "ui/report_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "engine/event_texts.h"
#include "ui/window_geometry.h"

namespace zorvik::ui {

ReportWindow::ReportWindow(QWidget* mainWindow)
    // Owned by the main window, yet a window of its own; no title-bar
    // buttons at all, so the user cannot close it.
    : QWidget(mainWindow, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmProtocol");
  setWindowTitle("Report");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);
  lines_ = new QPlainTextEdit(this);
  lines_->setObjectName("Memo1");
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  lines_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lines_);
  resize(454, 141);
  dockUnder(mainWindow);
  clear();
}

void ReportWindow::add(const QString& text) {
  lines_->appendPlainText(QString::fromStdString(reportLineNow(text.toStdString())));
  QTextCursor end = lines_->textCursor();
  end.movePosition(QTextCursor::End);
  lines_->setTextCursor(end);
  lines_->ensureCursorVisible();
}

void ReportWindow::clear() { lines_->clear(); }

QStringList ReportWindow::lines() const {
  const QString text = lines_->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

void ReportWindow::dockUnder(const QWidget* mainWindow) {
  const QRect outer = mainWindow->frameGeometry();
  const QSize extent = frameExtent(this, mainWindow);
  resize(outer.width() - extent.width(), height());
  placeFrame(this, outer.left(), outer.top() + outer.height());
}

void ReportWindow::followMove(const QWidget* mainWindow) {
  const QRect outer = mainWindow->frameGeometry();
  const QPoint wanted(outer.left(), outer.top() + outer.height());
  if (frameGeometry().topLeft() != wanted) placeFrame(this, wanted.x(), wanted.y());
}

}  // namespace zorvik::ui
