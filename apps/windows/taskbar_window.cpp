#include "apps/windows/taskbar_window.h"

#include "apps/windows/control_ids.h"
#include "engine/event_texts.h"

namespace zorvik::win {

namespace {
// Posted to itself: activation is handed on once the system has finished
// activating this window.
constexpr UINT kActivateMainMessage = WM_APP + 1;
}  // namespace

TaskbarWindow::TaskbarWindow(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ownedWindowProcedure<TaskbarWindow>;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kTaskbarWindowClass;
  RegisterClassExW(&wc);
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
  // WS_EX_APPWINDOW: a task-bar button although the window has no caption.
  CreateWindowExW(WS_EX_APPWINDOW, kTaskbarWindowClass, widen(engine::kAppTitle).c_str(),
                  WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0, nullptr, nullptr, instance, this);
}

TaskbarWindow::~TaskbarWindow() {
  if (window_) DestroyWindow(window_);
}

void TaskbarWindow::setTitle(const std::wstring& title) { SetWindowTextW(window_, title.c_str()); }

void TaskbarWindow::show() { ShowWindow(window_, SW_SHOWNA); }

void TaskbarWindow::minimize() { ShowWindow(window_, SW_MINIMIZE); }

void TaskbarWindow::activateMainWindow() {
  if (!main_ || IsIconic(window_) || !IsWindowVisible(main_)) return;
  // A modal dialog open over the main window takes the focus instead.
  const HWND target = GetLastActivePopup(main_);
  SetForegroundWindow(target ? target : main_);
}

LRESULT TaskbarWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window_, kActivateMainMessage, 0, 0);
      return 0;
    case kActivateMainMessage:
      activateMainWindow();
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_RESTORE) {
        const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
        activateMainWindow();
        return result;
      }
      break;
    case WM_CLOSE:
      // "Close window" on the task-bar button closes the program the way the
      // main window's close box does, question included.
      if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace zorvik::win
