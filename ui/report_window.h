// The report window: one time-stamped line per step of every run, docked
// under the main window. It collects lines whether it is shown or not.
#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

namespace zorvik::ui {

class ReportWindow : public QWidget {
 public:
  explicit ReportWindow(QWidget* mainWindow);

  void add(const QString& text);  // appends "hh-nn-ss -> text"
  void clear();
  QStringList lines() const;

  // Puts the window directly under the main window, as wide as it is.
  void dockUnder(const QWidget* mainWindow);
  // After a move of the main window: back under it, size untouched.
  void followMove(const QWidget* mainWindow);

 private:
  QPlainTextEdit* reportView_;
};

}  // namespace zorvik::ui
