// The firmware overview: one row per built-in image, newest first, and the
// header of an image file on top once "File version" has read one.
#pragma once

#include <QDialog>

#include <optional>

#include "images/image_header.h"

class QTreeWidget;
class QPushButton;

namespace zorvik::ui {

class FirmwareOverview : public QDialog {
 public:
  explicit FirmwareOverview(QWidget* mainWindow);

  // Fills the list (an image file's header on top when given), places the
  // dialog (outer top-left at left/top, outer height `height`; the columns
  // decide the width), shows it modally and returns its result.
  int execute(int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader);
  // Filling and placing without showing.
  void prepare(int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader);

  void addImageRow(const images::ImageHeader& header);
  int autoSizeColumns();

  QTreeWidget* list() const { return overviewList_; }

 private:
  QTreeWidget* overviewList_;
  QPushButton* okButton_;
};

}  // namespace zorvik::ui
