// The "Check port" window: what the checks of a port found, one line each
// and the summary, as the command line's doctor prints them. Modeless, as
// the checks run aside and the user may close it at any time; a check still
// under way then ends unseen.
#pragma once

#include <string>

#include "apps/windows/win_util.h"

namespace zorvik::win {

class CheckPortWindow {
 public:
  explicit CheckPortWindow(const Scale& scale);
  ~CheckPortWindow();
  CheckPortWindow(const CheckPortWindow&) = delete;
  CheckPortWindow& operator=(const CheckPortWindow&) = delete;

  // Opens the window with its top-left corner at left, top (or, when it is
  // open, brings it to the front) and shows `text`.
  void show(HWND owner, int left, int top, const std::string& text);
  // Shows `text` instead, if the window is still open.
  void setText(const std::string& text);
  // For the message loop: Tab, Enter and Escape inside the window.
  bool preTranslate(MSG& msg);

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void create(HWND dialog);

  Scale scale_;
  Font font_;
  Font textFont_;  // fixed pitch: the levels stand in a column
  HWND dialog_ = nullptr;
  std::wstring text_;
  POINT at_{};
};

}  // namespace zorvik::win
