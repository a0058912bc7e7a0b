// The firmware overview: one row per built-in image, newest first, and the
// header of an image file on top once "File version" has read one.
#pragma once

#include <optional>

#include "apps/windows/win_util.h"
#include "images/image_header.h"

namespace zorvik::win {

class OverviewDialog {
 public:
  explicit OverviewDialog(const Scale& scale);

  // Fills the list, places the dialog (outer top-left at left/top, outer
  // height `height`; the columns decide the width), shows it modally over
  // owner and returns when the user has pressed "OK".
  void execute(HWND owner, int left, int top, int height, const std::optional<images::ImageHeader>& fileHeader);

 private:
  friend INT_PTR CALLBACK acknowledgedDialogProcedure<OverviewDialog>(HWND, UINT, WPARAM, LPARAM);
  void create(HWND dialog);
  void addImageRow(const images::ImageHeader& header);
  int autoSizeColumns();
  void layout(HWND dialog);

  Scale scale_;
  Font font_;
  HWND overviewList_ = nullptr;
  HWND okButton_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int height_ = 0;
  std::optional<images::ImageHeader> fileHeader_;
};

}  // namespace zorvik::win
