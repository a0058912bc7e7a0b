// The message window: the final text of a run, modal, laid over the lower
// part of the main window until the user presses "OK". A dialog as users
// know them: an icon that says whether something is to be mended, the text,
// and the button at the right.
#pragma once

#include <QDialog>

#include "session/window_controller.h"

class QLabel;
class QPushButton;

namespace zorvik::ui {

class MessageWindow : public QDialog {
 public:
  explicit MessageWindow(QWidget* mainWindow);

  // x, y, w, h: the main window's outer left, top, width and height.
  void showMessage(const QString& text, session::MessageIcon icon, int x, int y, int w, int h);
  // Placement only (showMessage without showing), for whoever needs the rule alone.
  void place(int x, int y, int w, int h);
  QString text() const;
  session::MessageIcon icon() const { return icon_; }

 private:
  QLabel* iconLabel_;
  QLabel* messageText_;
  QPushButton* okButton_;
  session::MessageIcon icon_ = session::MessageIcon::Information;
};

}  // namespace zorvik::ui
