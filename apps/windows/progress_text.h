// The time left of an image, written over the progress bar: the system's
// progress bar draws no text, so it is subclassed to draw "2:35 left" on top
// of its own painting. The text is also the bar's window text, where the
// pilot and screen readers read it; while no time is told the window text is
// the bar's name again, which it was given for screen readers.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "apps/windows/win_util.h"

namespace zorvik::win {

class ProgressText {
 public:
  ProgressText() = default;
  ~ProgressText();
  ProgressText(const ProgressText&) = delete;
  ProgressText& operator=(const ProgressText&) = delete;

  // bar: the progress bar, named `name`; font: the one the text is drawn in.
  void attach(HWND bar, std::wstring name, HFONT font);
  // The time left, or none: no text on the bar.
  void show(const std::optional<std::chrono::seconds>& left);

 private:
  static LRESULT CALLBACK subclass(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
  void paint();
  void drawText(HDC dc, const RECT& client) const;

  HWND bar_ = nullptr;
  std::wstring name_;
  HFONT font_ = nullptr;
  std::wstring text_;
};

}  // namespace zorvik::win
