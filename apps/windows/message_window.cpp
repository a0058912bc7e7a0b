#include "apps/windows/message_window.h"

#include <algorithm>

#include "apps/windows/accessible_names.h"
#include "apps/windows/control_ids.h"

namespace zorvik::win {

namespace {
constexpr int kClientHeight = 101;
constexpr int kPanelHeight = 45;
constexpr int kButtonWidth = 93;
constexpr int kMargin = 3;
constexpr int kTextMargin = 10;  // around the icon and the text
constexpr int kIconSize = 32;
constexpr int kInset = 10;  // from the main window's sides and bottom
constexpr int kFontPoints = 8;
// A dialog frame without any title-bar button: no system menu.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
// Wrapped, read-only, without a frame of its own: the text of a dialog, which
// can still be selected and copied into a request for help.
constexpr DWORD kTextStyle = WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY;

int frameWidth() {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  return frame.right - frame.left;
}
}  // namespace

MessageWindow::MessageWindow(const Scale& scale)
    : scale_(scale), font_(makeFont(L"Tahoma", pointsToPixels(kFontPoints), scale)) {}

int MessageWindow::textHeight(int clientWidth) const {
  RECT room{0, 0, clientWidth - scale_(3 * kTextMargin + kIconSize), 0};
  HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font_.get());
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &room, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  // One line more than measured: the edit control keeps a margin of its own.
  return room.bottom - room.top + metrics.tmHeight;
}

void MessageWindow::show(HWND owner, const std::string& text, session::MessageIcon icon, int x, int y, int w, int h) {
  // An edit control breaks lines at "\r\n" only.
  text_.clear();
  for (const wchar_t c : widen(text)) {
    if (c == L'\n') text_ += L'\r';
    text_ += c;
  }
  icon_ = icon;
  // As designed, unless the text needs more room: then the window grows
  // upwards, its bottom edge staying where the rule puts it.
  const int width = w - 2 * kInset;
  const int clientHeight = std::max(scale_(kClientHeight),
                                    scale_(kTextMargin) + textHeight(width - frameWidth()) + scale_(kMargin + kPanelHeight));
  RECT frame{0, 0, 0, clientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
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
  RECT client{};
  GetClientRect(dialog, &client);
  const int margin = scale_(kTextMargin);
  const int iconSize = scale_(kIconSize);
  const int panelTop = client.bottom - scale_(kPanelHeight);
  const HWND icon = createControl(dialog, kIdMessageIcon, L"STATIC", L"", WS_VISIBLE | SS_ICON | SS_REALSIZECONTROL,
                                  {margin, margin, iconSize, iconSize});
  const LPCWSTR standard = icon_ == session::MessageIcon::Warning ? IDI_WARNING : IDI_INFORMATION;
  SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, standard)), 0);
  const int textLeft = 2 * margin + iconSize;
  const HWND text = createControl(dialog, kIdMessageText, L"EDIT", text_.c_str(), kTextStyle,
                                  {textLeft, margin, client.right - textLeft - margin, panelTop - margin});
  const int buttonWidth = scale_(kButtonWidth);
  const HWND button = createControl(dialog, IDOK, L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                    {client.right - margin - buttonWidth, panelTop + scale_(kMargin), buttonWidth,
                                     scale_(kPanelHeight - 2 * kMargin)});
  setFont(text, font_.get());
  setFont(button, font_.get());
  annotateName(text, kMessageCaption);
  SetFocus(button);
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
