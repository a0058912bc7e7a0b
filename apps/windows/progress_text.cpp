#include "apps/windows/progress_text.h"

#include <commctrl.h>

#include "session/time_left.h"

namespace zorvik::win {

namespace {
constexpr UINT_PTR kSubclassId = 1;

// The part of the bar that is filled, from its position in its range.
LONG filledWidth(HWND bar, LONG width) {
  PBRANGE range{};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  const auto position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  const int span = range.iHigh - range.iLow;
  return span > 0 ? MulDiv(width, position - range.iLow, span) : 0;
}
}  // namespace

ProgressText::~ProgressText() {
  if (bar_) RemoveWindowSubclass(bar_, subclass, kSubclassId);
}

void ProgressText::attach(HWND bar, std::wstring name, HFONT font) {
  bar_ = bar;
  name_ = std::move(name);
  font_ = font;
  SetWindowSubclass(bar_, subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void ProgressText::show(const std::optional<std::chrono::seconds>& left) {
  std::wstring text = left ? widen(session::timeLeftText(*left)) : std::wstring();
  if (!bar_ || text == text_) return;
  text_ = std::move(text);
  SetWindowTextW(bar_, text_.empty() ? name_.c_str() : text_.c_str());
  InvalidateRect(bar_, nullptr, FALSE);
}

LRESULT CALLBACK ProgressText::subclass(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self) {
  auto* text = reinterpret_cast<ProgressText*>(self);
  if (message == WM_PAINT && !text->text_.empty()) {
    text->paint();
    return 0;
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(bar, subclass, id);
    text->bar_ = nullptr;
  }
  return DefSubclassProc(bar, message, wParam, lParam);
}

// The bar paints into a bitmap, the text goes on top, and the whole is put
// on the screen at once: the text does not flicker as the bar moves.
void ProgressText::paint() {
  PAINTSTRUCT ps;
  const HDC screen = BeginPaint(bar_, &ps);
  RECT client{};
  GetClientRect(bar_, &client);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  const HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  // Common controls paint into the device context WM_PAINT brings along.
  DefSubclassProc(bar_, WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
  drawText(memory, client);
  BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(bar_, &ps);
}

// Centred; over the filled part in the colour of highlighted text, over the
// rest in that of plain text, so that it reads on both.
void ProgressText::drawText(HDC dc, const RECT& client) const {
  const HGDIOBJ oldFont = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  const LONG filled = filledWidth(bar_, client.right);
  const RECT parts[2] = {{0, 0, filled, client.bottom}, {filled, 0, client.right, client.bottom}};
  const int colours[2] = {COLOR_HIGHLIGHTTEXT, COLOR_WINDOWTEXT};
  for (int i = 0; i < 2; ++i) {
    if (parts[i].right <= parts[i].left) continue;
    SaveDC(dc);
    IntersectClipRect(dc, parts[i].left, parts[i].top, parts[i].right, parts[i].bottom);
    SetTextColor(dc, GetSysColor(colours[i]));
    RECT box = client;
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, -1);
  }
  SelectObject(dc, oldFont);
}

}  // namespace zorvik::win
