#include "apps/windows/message_window.h"

#include "apps/windows/accessible_names.h"
#include "apps/windows/control_ids.h"

namespace zorvik::win {

namespace {
constexpr int kClientHeight = 101;
constexpr int kPanelHeight = 45;
constexpr int kButtonWidth = 93;
constexpr int kMargin = 3;
constexpr int kInset = 10;  // from the main window's sides and bottom
constexpr int kFontPoints = 8;
// A dialog frame without any title-bar button: no system menu.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
}  // namespace

MessageWindow::MessageWindow(const Scale& scale)
    : scale_(scale), font_(makeFont(L"Tahoma", pointsToPixels(kFontPoints), scale)) {}

void MessageWindow::show(HWND owner, const std::string& text, int x, int y, int w, int h) {
  text_ = widen(text);
  // Outer height for the designed client height, from the frame this style gets.
  RECT frame{0, 0, 0, scale_(kClientHeight)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  const int height = frame.bottom - frame.top;
  outer_ = RECT{x + kInset, y + h - height - kInset, x + w - kInset, y + h - kInset};
  const std::vector<WORD> dialog = emptyDialogTemplate(kStyle, kMessageCaption);
  DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                          reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
                          acknowledgedDialogProcedure<MessageWindow>, reinterpret_cast<LPARAM>(this));
}

void MessageWindow::create(HWND dialog) {
  SetWindowPos(dialog, nullptr, outer_.left, outer_.top, outer_.right - outer_.left, outer_.bottom - outer_.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  setFont(dialog, font_.get());
  layOutTextOverButton(dialog, scale_,
                       {kIdMessageText, text_.c_str(), 0, font_.get(), kMessageCaption, IDOK, L"OK", font_.get()});
}

HWND layOutTextOverButton(HWND dialog, const Scale& scale, const TextOverButton& parts) {
  RECT client{};
  GetClientRect(dialog, &client);
  const int margin = scale(kMargin);
  const int panelTop = client.bottom - scale(kPanelHeight);
  // The text wraps (no horizontal scrolling) and stays read-only.
  const HWND text = createControl(dialog, parts.textId, L"EDIT", parts.text,
                                  WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | parts.textStyle,
                                  {margin, margin, client.right - 2 * margin, panelTop - 2 * margin},
                                  WS_EX_CLIENTEDGE);
  const HWND button = createControl(dialog, parts.buttonId, L"BUTTON", parts.buttonCaption,
                                    WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                    {margin, panelTop + margin, scale(kButtonWidth), scale(kPanelHeight) - 2 * margin});
  setFont(text, parts.textFont);
  setFont(button, parts.buttonFont);
  annotateName(text, parts.name);
  SetFocus(button);
  return button;
}

}  // namespace zorvik::win
