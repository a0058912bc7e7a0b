#include "protocol_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "event_texts.h"
#include "window_geometry.h"

namespace zorvik::ui {

TfrmProtocol::TfrmProtocol(QWidget* mainWindow)
    // Owned by the main window, yet a window of its own; no title-bar
    // buttons at all, so the user cannot close it.
    : QWidget(mainWindow, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmProtocol");
  setWindowTitle("Report");
  QFont font("MS Sans Serif");
  font.setPixelSize(10);
  setFont(font);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
  resize(454, 141);
  dockUnder(mainWindow);
  Clear();
}

void TfrmProtocol::Add(const QString& sLine) {
  Memo1->appendPlainText(QString::fromStdString(reportLineNow(sLine.toStdString())));
  QTextCursor end = Memo1->textCursor();
  end.movePosition(QTextCursor::End);
  Memo1->setTextCursor(end);
  Memo1->ensureCursorVisible();
}

void TfrmProtocol::Clear() { Memo1->clear(); }

QStringList TfrmProtocol::lines() const {
  const QString text = Memo1->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

void TfrmProtocol::dockUnder(const QWidget* mainWindow) {
  const QRect outer = mainWindow->frameGeometry();
  const QSize extent = FrameExtent(this, mainWindow);
  resize(outer.width() - extent.width(), height());
  PlaceFrame(this, outer.left(), outer.top() + outer.height());
}

void TfrmProtocol::followMove(const QWidget* mainWindow) {
  const QRect outer = mainWindow->frameGeometry();
  const QPoint wanted(outer.left(), outer.top() + outer.height());
  if (frameGeometry().topLeft() != wanted) PlaceFrame(this, wanted.x(), wanted.y());
}

}  // namespace zorvik::ui
