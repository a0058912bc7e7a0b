// The window that owns the program's task-bar button. It has no size and
// draws nothing; the main window and the report window are owned by it. So
// the task-bar button shows its text, the progress while a run is under way,
// and the main window keeps its caption, "Zorvik Firmware Update". It also
// makes the program minimize and come back as one: the system hides the
// windows it owns while it is minimized.
#pragma once

#include <string>

#include "apps/windows/win_util.h"

namespace zorvik::win {

class TaskbarWindow {
 public:
  explicit TaskbarWindow(HINSTANCE instance);
  ~TaskbarWindow();
  TaskbarWindow(const TaskbarWindow&) = delete;
  TaskbarWindow& operator=(const TaskbarWindow&) = delete;

  HWND handle() const { return window_; }
  // The window that takes the focus when the task-bar button is clicked.
  void setMainWindow(HWND main) { main_ = main; }
  void setTitle(const std::wstring& title);
  // After the main window has been shown: the task-bar button appears.
  void show();
  void minimize();

 private:
  friend LRESULT CALLBACK ownedWindowProcedure<TaskbarWindow>(HWND, UINT, WPARAM, LPARAM);
  void attach(HWND window) { window_ = window; }
  void detach() { window_ = nullptr; }
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void activateMainWindow();

  HWND window_ = nullptr;
  HWND main_ = nullptr;
};

}  // namespace zorvik::win
