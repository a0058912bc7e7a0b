// The message window: the final text of a run, modal, laid over the lower
// part of the main window until the user presses "OK".
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace zorvik::ui {

class MessageWindow : public QDialog {
 public:
  explicit MessageWindow(QWidget* mainWindow);

  // x, y, w, h: the main window's outer left, top, width and height.
  void showMessage(const QString& text, int x, int y, int w, int h);
  // Placement only (showMessage without showing), for whoever needs the rule alone.
  void place(int x, int y, int w, int h);
  QString text() const;

 private:
  QPlainTextEdit* messageText_;
  QPushButton* okButton_;
};

}  // namespace zorvik::ui
