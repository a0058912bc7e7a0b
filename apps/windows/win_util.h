// Small Win32 helpers the windows share: text conversion, scaling of the
// designed pixel sizes, fonts, window rectangles and in-memory dialog
// templates.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zorvik::win {

// The engine's texts, port names and file names are 8-bit text in the
// system's code page, as the command line receives its arguments; the
// windows speak UTF-16. One conversion each way, with the same code page, so
// that a port or file name makes the round trip unchanged.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

std::wstring windowText(HWND window);

// The sizes of the windows were designed in pixels at 96 dots per inch. The
// program declares itself DPI-aware (its manifest), so the system does not
// stretch it into a blur; it scales the designed sizes itself instead.
class Scale {
 public:
  static Scale ofSystem();
  int operator()(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
  int dpi() const { return dpi_; }

 private:
  explicit Scale(int dpi) : dpi_(dpi) {}
  int dpi_;
};

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// A font by face name; pixelHeight as designed (the character height, not
// the cell height), scaled for the screen.
Font makeFont(const wchar_t* face, int pixelHeight, const Scale& scale);
// Point size to the character height in pixels at 96 DPI (8 pt is 11 px).
int pointsToPixels(int points);

void setFont(HWND window, HFONT font);

// Outer rectangle (frame included) in screen coordinates.
RECT outerRect(HWND window);
// Outer size for a client area of width x height with this window's styles.
SIZE outerSizeFor(HWND window, int width, int height, bool hasMenu);

// Left, top, width and height of a control inside its parent, in pixels.
struct Bounds {
  int x, y, width, height;
};

// A child control with its ID, placed at `bounds` (real pixels, already scaled).
HWND createControl(HWND parent, int id, const wchar_t* className, const wchar_t* text, DWORD style, Bounds bounds,
                   DWORD exStyle = 0);
void place(HWND control, Bounds bounds);

// A dialog template without controls: the dialogs create their controls in
// WM_INITDIALOG, in pixels, and use the dialog manager for what it is good
// at: modality, Tab, Enter and Escape.
std::vector<WORD> emptyDialogTemplate(DWORD style, const wchar_t* caption);

// The window procedure of a window that an object of `Owner` creates,
// passing itself as the creation parameter, and whose messages it handles
// (Owner::handle). The object is found through the window from WM_NCCREATE
// on, where it learns its window (Owner::attach); at WM_NCDESTROY it lets go
// of the window and of its children (Owner::detach), and the window's last
// messages go to the system.
template <class Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Owner*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->attach(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->detach();
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return self->handle(message, wParam, lParam);
}

// The dialog procedure of a modal dialog that only shows something: its
// object, the dialog's parameter, creates the controls and puts the focus on
// "OK" (Owner::create); "OK", Enter and Escape end the dialog.
template <class Owner>
INT_PTR CALLBACK acknowledgedDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      reinterpret_cast<Owner*>(lParam)->create(dialog);
      return FALSE;  // the focus is on "OK" already
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace zorvik::win
