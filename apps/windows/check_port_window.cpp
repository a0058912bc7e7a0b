#include "apps/windows/check_port_window.h"

#include "apps/windows/control_ids.h"
#include "apps/windows/message_window.h"

namespace zorvik::win {

namespace {
constexpr int kClientWidth = 520;
constexpr int kClientHeight = 230;
constexpr int kFontPoints = 8;
// A dialog frame with a close box: the window stays until the user closes it.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// The edit box breaks lines at "\r\n" only.
std::wstring editText(const std::string& text) {
  std::wstring out;
  for (const wchar_t c : widen(text)) {
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}
}  // namespace

CheckPortWindow::CheckPortWindow(const Scale& scale)
    : scale_(scale),
      font_(makeFont(L"Tahoma", pointsToPixels(kFontPoints), scale)),
      textFont_(makeFont(L"Courier New", pointsToPixels(kFontPoints), scale)) {}

CheckPortWindow::~CheckPortWindow() {
  if (dialog_) DestroyWindow(dialog_);
}

void CheckPortWindow::show(HWND owner, int left, int top, const std::string& text) {
  if (dialog_) {
    setText(text);
    SetForegroundWindow(dialog_);
    return;
  }
  text_ = editText(text);
  at_ = POINT{left, top};
  const std::vector<WORD> dialog = emptyDialogTemplate(kStyle, kCheckPortCaption);
  CreateDialogIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                             reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner, procedure,
                             reinterpret_cast<LPARAM>(this));
  if (dialog_) ShowWindow(dialog_, SW_SHOWNORMAL);
}

void CheckPortWindow::setText(const std::string& text) {
  text_ = editText(text);
  if (dialog_) SetDlgItemTextW(dialog_, kIdFindingsText, text_.c_str());
}

bool CheckPortWindow::preTranslate(MSG& msg) {
  if (!dialog_ || (msg.hwnd != dialog_ && !IsChild(dialog_, msg.hwnd))) return false;
  return IsDialogMessageW(dialog_, &msg) != FALSE;
}

void CheckPortWindow::create(HWND dialog) {
  dialog_ = dialog;
  RECT frame{0, 0, scale_(kClientWidth), scale_(kClientHeight)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  SetWindowPos(dialog, nullptr, at_.x, at_.y, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  setFont(dialog, font_.get());
  // Escape and the close box end the window as "Close" does (IDCANCEL).
  layOutTextOverButton(dialog, scale_,
                       {kIdFindingsText, text_.c_str(), WS_VSCROLL, textFont_.get(), kCheckPortCaption, IDCANCEL,
                        L"Close", font_.get()});
}

INT_PTR CALLBACK CheckPortWindow::procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      reinterpret_cast<CheckPortWindow*>(lParam)->create(dialog);
      return FALSE;  // the focus has been put on "Close"
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        DestroyWindow(dialog);  // modeless: no EndDialog
        return TRUE;
      }
      return FALSE;
    case WM_NCDESTROY:
      if (auto* self = reinterpret_cast<CheckPortWindow*>(GetWindowLongPtrW(dialog, DWLP_USER))) self->dialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace zorvik::win
