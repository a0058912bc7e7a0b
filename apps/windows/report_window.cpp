#include "apps/windows/report_window.h"

#include "apps/windows/accessible_names.h"
#include "apps/windows/control_ids.h"
#include "engine/event_texts.h"

namespace zorvik::win {

namespace {
constexpr int kClientWidth = 454;
constexpr int kClientHeight = 141;
constexpr int kFontPixels = 10;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;
}  // namespace

ReportWindow::ReportWindow(HINSTANCE instance, HWND owner, HWND mainWindow, const Scale& scale)
    : font_(makeFont(L"MS Sans Serif", kFontPixels, scale)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ownedWindowProcedure<ReportWindow>;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kReportWindowClass;
  RegisterClassExW(&wc);
  // No WS_SYSMENU: no system menu, so no close box nor any other title-bar button.
  CreateWindowExW(0, kReportWindowClass, kReportCaption, kStyle, 0, 0, scale(kClientWidth), scale(kClientHeight),
                  owner, nullptr, instance, this);
  const SIZE outer = outerSizeFor(window_, scale(kClientWidth), scale(kClientHeight), false);
  SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // No word wrap: long lines scroll sideways. The limit is lifted from the
  // 32767 characters an edit box takes by default, as repeats of a failing
  // run go on until the user cancels.
  reportView_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                              ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                          0, 0, scale(kClientWidth), scale(kClientHeight), window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdReportView)), instance, nullptr);
  SendMessageW(reportView_, EM_SETLIMITTEXT, 0, 0);
  setFont(reportView_, font_.get());
  nameForScreenReaders(reportView_, kReportCaption);
  dockUnder(mainWindow);
  clear();
}

ReportWindow::~ReportWindow() {
  if (window_) DestroyWindow(window_);
}

void ReportWindow::add(const std::string& text) {
  const std::wstring line = widen(engine::reportLineNow(text));
  const int length = GetWindowTextLengthW(reportView_);
  const std::wstring piece = length > 0 ? L"\r\n" + line : line;
  // Caret to the end, the line after it: the newest line comes into view.
  SendMessageW(reportView_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  SendMessageW(reportView_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
  SendMessageW(reportView_, EM_SCROLLCARET, 0, 0);
  // Drawn now: a run's events can follow each other faster than the queue
  // ever empties, and painting waits for an empty queue.
  if (IsWindowVisible(window_)) UpdateWindow(reportView_);
}

void ReportWindow::clear() { SetWindowTextW(reportView_, L""); }

void ReportWindow::show() { ShowWindow(window_, SW_SHOWNOACTIVATE); }

void ReportWindow::dockUnder(HWND mainWindow) {
  const RECT main = outerRect(mainWindow);
  const RECT own = outerRect(window_);
  SetWindowPos(window_, nullptr, main.left, main.bottom, main.right - main.left, own.bottom - own.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ReportWindow::followMove(HWND mainWindow) {
  const RECT main = outerRect(mainWindow);
  const RECT own = outerRect(window_);
  if (own.left == main.left && own.top == main.bottom) return;
  SetWindowPos(window_, nullptr, main.left, main.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT ReportWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (reportView_) MoveWindow(reportView_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_CLOSE:
      return 0;  // Alt+F4 included: the report stays as long as the program
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace zorvik::win
