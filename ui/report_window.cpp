#include "ui/report_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "engine/event_texts.h"
#include "session/widget_roles.h"
#include "ui/window_geometry.h"

namespace zorvik::ui {

namespace roles = session::roles;

ReportWindow::ReportWindow(QWidget* mainWindow)
    // Owned by the main window, yet a window of its own; no title-bar
    // buttons at all, so the user cannot close it.
    : QWidget(mainWindow, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(roles::kReportWindow);
  setWindowTitle("Report");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);
  reportView_ = new QPlainTextEdit(this);
  reportView_->setObjectName(roles::kReportView);
  reportView_->setReadOnly(true);
  reportView_->setLineWrapMode(QPlainTextEdit::NoWrap);
  reportView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  reportView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(reportView_);
  resize(454, 141);
  dockUnder(mainWindow);
  clear();
}

void ReportWindow::add(const QString& text) {
  reportView_->appendPlainText(QString::fromStdString(engine::reportLineNow(text.toStdString())));
  // The caret at the start of the last line: the box shows that line, and
  // scrolled to the left, where every line starts with its time, however
  // long the line is.
  QTextCursor last = reportView_->textCursor();
  last.movePosition(QTextCursor::End);
  last.movePosition(QTextCursor::StartOfBlock);
  reportView_->setTextCursor(last);
  reportView_->ensureCursorVisible();
}

void ReportWindow::clear() { reportView_->clear(); }

QStringList ReportWindow::lines() const {
  const QString text = reportView_->toPlainText();
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
