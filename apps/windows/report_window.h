// The report window: one time-stamped line per step of every run, docked
// under the main window. It collects lines whether it is shown or not, and
// the user cannot close it (it has no title-bar buttons at all).
#pragma once

#include "apps/windows/win_util.h"

namespace zorvik::win {

class ReportWindow {
 public:
  // Created hidden, owned by `owner` (the task-bar window), docked under mainWindow.
  ReportWindow(HINSTANCE instance, HWND owner, HWND mainWindow, const Scale& scale);
  ~ReportWindow();
  ReportWindow(const ReportWindow&) = delete;
  ReportWindow& operator=(const ReportWindow&) = delete;

  HWND handle() const { return window_; }
  void add(const std::string& text);  // appends "hh-nn-ss -> text"
  void clear();
  void show();
  // While a run is under way the hourglass shows over this window too.
  void setBusy(bool busy) { busy_ = busy; }

  // Puts the window directly under the main window, as wide as it is.
  void dockUnder(HWND mainWindow);
  // After a move of the main window: back under it, size untouched.
  void followMove(HWND mainWindow);

 private:
  friend LRESULT CALLBACK ownedWindowProcedure<ReportWindow>(HWND, UINT, WPARAM, LPARAM);
  void attach(HWND window) { window_ = window; }
  void detach() {
    window_ = nullptr;
    reportView_ = nullptr;
  }
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HWND reportView_ = nullptr;
  Font font_;
  bool busy_ = false;
};

}  // namespace zorvik::win
