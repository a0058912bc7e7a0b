// The message window: the final text of a run, modal, laid over the lower
// part of the main window until the user presses "OK"; a dialog as users
// know them, with an icon that says whether something is to be mended, the
// text beside it and the button at the right. The layout of a read-only
// text over a strip with one button serves the port check's window.
#pragma once

#include <string>

#include "apps/windows/win_util.h"
#include "session/window_controller.h"

namespace zorvik::win {

class MessageWindow {
 public:
  explicit MessageWindow(const Scale& scale);

  // x, y, w, h: the main window's outer left, top, width and height. Returns
  // when the user has pressed "OK" (or Enter, or Escape).
  void show(HWND owner, const std::string& text, session::MessageIcon icon, int x, int y, int w, int h);

 private:
  friend INT_PTR CALLBACK acknowledgedDialogProcedure<MessageWindow>(HWND, UINT, WPARAM, LPARAM);
  void create(HWND dialog);

  Scale scale_;
  Font font_;
  // The height the text needs at the width it gets beside the icon.
  int textHeight(int clientWidth) const;

  std::wstring text_;
  session::MessageIcon icon_ = session::MessageIcon::Information;
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
