#include "apps/windows/win_util.h"

#include <cstring>

namespace zorvik::win {

std::wstring widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), n);
  return out;
}

std::string narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring windowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

Scale Scale::ofSystem() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return Scale(dpi > 0 ? dpi : 96);
}

int pointsToPixels(int points) { return MulDiv(points, 96, 72); }

Font makeFont(const wchar_t* face, int pixelHeight, const Scale& scale) {
  return Font(CreateFontW(-scale(pixelHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                          face));
}

void setFont(HWND window, HFONT font) { SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

RECT outerRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

SIZE outerSizeFor(HWND window, int width, int height, bool hasMenu) {
  RECT rect{0, 0, width, height};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  AdjustWindowRectEx(&rect, style, hasMenu ? TRUE : FALSE, exStyle);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HWND createControl(HWND parent, int id, const wchar_t* className, const wchar_t* text, DWORD style, Bounds bounds,
                   DWORD exStyle) {
  return CreateWindowExW(exStyle, className, text, WS_CHILD | style, bounds.x, bounds.y, bounds.width, bounds.height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

void place(HWND control, Bounds bounds) {
  SetWindowPos(control, nullptr, bounds.x, bounds.y, bounds.width, bounds.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

std::vector<WORD> emptyDialogTemplate(DWORD style, const wchar_t* caption) {
  // DLGTEMPLATE, then menu, class and caption as zero-terminated UTF-16,
  // then (DS_SETFONT) the point size and face. No items follow.
  DLGTEMPLATE header{};
  header.style = style | DS_SETFONT;
  std::vector<WORD> words(sizeof header / sizeof(WORD));
  std::memcpy(words.data(), &header, sizeof header);
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  for (const wchar_t* c = caption; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  words.push_back(8);  // replaced by the window's own font in WM_INITDIALOG
  for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

}  // namespace zorvik::win
