#include "apps/windows/confirm_dialog.h"

#include <algorithm>

#include "apps/windows/control_ids.h"

namespace zorvik::win {

namespace {

// A message box's proportions, at 96 DPI.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMinTextWidth = 160;
// A longer text (the line naming the logger) wraps at words, as a message box's does.
constexpr int kMaxTextWidth = 440;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// The two lines, and what the answer is about under them after a blank line.
std::string questionText(const session::Question& question) {
  std::string text = question.line1 + "\r\n" + question.line2;
  if (!question.detail.empty()) text += "\r\n\r\n" + question.detail;
  return text;
}

class ConfirmDialog {
 public:
  explicit ConfirmDialog(const session::Question& question)
      : text_(widen(questionText(question))), scale_(Scale::ofSystem()) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  }

  bool ask(HWND owner) {
    const std::vector<WORD> dialog = emptyDialogTemplate(kStyle, kConfirmCaption);
    const INT_PTR answer = DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                                                   reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
                                                   procedure, reinterpret_cast<LPARAM>(this));
    return answer == IDYES;
  }

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        reinterpret_cast<ConfirmDialog*>(lParam)->create(dialog);
        return FALSE;  // the focus has been put on "Yes"
      case WM_COMMAND:
        if (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) {
          EndDialog(dialog, LOWORD(wParam) == IDYES ? IDYES : IDNO);
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  }

  SIZE measureText(HWND dialog) const {
    HDC dc = GetDC(dialog);
    const HGDIOBJ old = SelectObject(dc, font_.get());
    RECT rect{0, 0, scale_(kMaxTextWidth), 0};
    DrawTextW(dc, text_.c_str(), -1, &rect, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    return SIZE{std::max<LONG>(rect.right, scale_(kMinTextWidth)), std::max<LONG>(rect.bottom, scale_(kIconSize))};
  }

  void create(HWND dialog) {
    const SIZE text = measureText(dialog);
    const int margin = scale_(kMargin);
    const int textLeft = margin + scale_(kIconSize) + scale_(kGap);
    const int buttonsTop = margin + text.cy + scale_(kGap);
    const int clientWidth = textLeft + text.cx + margin;
    const int clientHeight = buttonsTop + scale_(kButtonHeight) + margin;

    const HWND icon = createControl(dialog, kIdQuestionIcon, L"STATIC", L"", WS_VISIBLE | SS_ICON,
                                    {margin, margin, scale_(kIconSize), scale_(kIconSize)});
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_QUESTION)), 0);
    const HWND label = createControl(dialog, kIdQuestionText, L"STATIC", text_.c_str(), WS_VISIBLE | SS_NOPREFIX,
                                     {textLeft, margin, text.cx, text.cy});
    const int buttonsWidth = 2 * scale_(kButtonWidth) + scale_(kButtonGap);
    const int buttonsLeft = (clientWidth - buttonsWidth) / 2;
    const HWND yes = createControl(dialog, IDYES, L"BUTTON", L"Yes", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                   {buttonsLeft, buttonsTop, scale_(kButtonWidth), scale_(kButtonHeight)});
    const HWND no = createControl(dialog, IDNO, L"BUTTON", L"No", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  {buttonsLeft + scale_(kButtonWidth) + scale_(kButtonGap), buttonsTop,
                                   scale_(kButtonWidth), scale_(kButtonHeight)});
    for (HWND control : {dialog, label, yes, no}) setFont(control, font_.get());
    SendMessageW(dialog, DM_SETDEFID, IDYES, 0);

    // Centred over the window that asks, like a message box.
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const HWND owner = GetWindow(dialog, GW_OWNER);
    const RECT over = owner ? outerRect(owner) : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SetWindowPos(dialog, nullptr, (over.left + over.right - width) / 2, (over.top + over.bottom - height) / 2, width,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
    SetFocus(yes);
  }

  std::wstring text_;
  Scale scale_;
  Font font_;
};

}  // namespace

bool confirm(HWND owner, const session::Question& question) { return ConfirmDialog(question).ask(owner); }

}  // namespace zorvik::win
