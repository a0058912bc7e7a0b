// A picture of the updater's windows, as the screen shows them: the part of
// the screen they cover, with a small margin, saved as a BMP file (the host
// turns it into PNG).
#include "tests/wine/pilot/pilot.h"

#include <algorithm>
#include <fstream>
#include <vector>


namespace zorvik::pilot {

namespace {

constexpr int kMargin = 8;

struct Cover {
  DWORD process;
  RECT rect;
  bool any;
};

BOOL CALLBACK addWindow(HWND window, LPARAM lParam) {
  auto* cover = reinterpret_cast<Cover*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  RECT rect{};
  if (process != cover->process || !IsWindowVisible(window) || !GetWindowRect(window, &rect) || IsRectEmpty(&rect)) {
    return TRUE;
  }
  if (cover->any) UnionRect(&cover->rect, &cover->rect, &rect);
  else cover->rect = rect;
  cover->any = true;
  return TRUE;
}

}  // namespace

void saveScreenshot(Pilot& pilot, const std::wstring& bmpFile) {
  Cover cover{GetProcessId(pilot.process()), {}, false};
  EnumWindows(addWindow, reinterpret_cast<LPARAM>(&cover));
  if (!cover.any) throw Failure("no window of the updater is shown");
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const RECT& r = cover.rect;
  const int left = std::max(0, static_cast<int>(r.left) - kMargin);
  const int top = std::max(0, static_cast<int>(r.top) - kMargin);
  const int width = std::min(screenWidth, static_cast<int>(r.right) + kMargin) - left;
  const int height = std::min(screenHeight, static_cast<int>(r.bottom) + kMargin) - top;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as a BMP file stores it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<char> pixels(stride * static_cast<std::size_t>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::ofstream out(bmpFile.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  if (!out) throw Failure("cannot write " + utf8(bmpFile));
  say("shot: " + std::to_string(width) + "x" + std::to_string(height));
}

}  // namespace zorvik::pilot
