// The firmware overview: one row per built-in image, newest first, and the
// header of an image file on top once "File version" has read one.
#pragma once

#include <QDialog>

#include "catalogue.h"

class QTreeWidget;
class QPushButton;

namespace zorvik::ui {

class TfrmInfo : public QDialog {
 public:
  explicit TfrmInfo(QWidget* mainWindow);

  // Fills the list, places the dialog (outer top-left ALeft/ATop, outer height
  // AHeight; AWidth is not used: the columns decide the width), shows it
  // modally and returns its result.
  int Execute(int ALeft, int ATop, int AWidth, int AHeight);
  // Filling and placing without showing.
  void prepare(int ALeft, int ATop, int AHeight);

  void AddImageRow(const TBl3FileHeader& header);
  int AutoSizeColumns();

  QTreeWidget* list() const { return ListView1; }

 private:
  QTreeWidget* ListView1;
  QPushButton* Button1;
};

}  // namespace zorvik::ui
