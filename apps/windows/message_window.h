// The message window: the final text of a run, modal, laid over the lower
// part of the main window until the user presses "OK". Its layout, a
// read-only text over a strip with one button, serves the port check's
// window as well.
#pragma once

#include <string>

#include "apps/windows/win_util.h"

namespace zorvik::win {

class MessageWindow {
 public:
  explicit MessageWindow(const Scale& scale);

  // x, y, w, h: the main window's outer left, top, width and height. Returns
  // when the user has pressed "OK" (or Enter, or Escape).
  void show(HWND owner, const std::string& text, int x, int y, int w, int h);

 private:
  friend INT_PTR CALLBACK acknowledgedDialogProcedure<MessageWindow>(HWND, UINT, WPARAM, LPARAM);
  void create(HWND dialog);

  Scale scale_;
  Font font_;
  std::wstring text_;
  RECT outer_{};  // where the dialog goes, worked out before it is shown
};

// A read-only, wrapping text box filling a dialog's client area above a strip
// with one default button at its left.
struct TextOverButton {
  int textId;
  const wchar_t* text;
  DWORD textStyle;  // more than the read-only multi-line box: a scroll bar
  HFONT textFont;
  const wchar_t* name;  // what screen readers call the text
  int buttonId;
  const wchar_t* buttonCaption;
  HFONT buttonFont;
};
// Creates both controls, puts the focus on the button and returns it.
HWND layOutTextOverButton(HWND dialog, const Scale& scale, const TextOverButton& parts);

}  // namespace zorvik::win
