// The message window: the final text of a run, modal, laid over the lower
// part of the main window until the user presses "OK".
#pragma once

#include <string>

#include "win_util.h"

namespace zorvik::win {

class MessageWindow {
 public:
  explicit MessageWindow(const Scale& scale);

  // x, y, w, h: the main window's outer left, top, width and height. Returns
  // when the user has pressed "OK" (or Enter, or Escape).
  void show(HWND owner, const std::string& text, int x, int y, int w, int h);

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void create(HWND dialog);

  Scale scale_;
  Font font_;
  std::wstring text_;
  RECT outer_{};  // where the dialog goes, worked out before it is shown
};

}  // namespace zorvik::win
