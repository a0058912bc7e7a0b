// The Windows desktop updater: the task-bar window, the main window with its
// secondary windows, and the message loop.
#include "apps/windows/win_util.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "apps/windows/main_window.h"
#include "apps/windows/taskbar_window.h"

namespace {

// The program arguments without the program's own path, as 8-bit text in
// the system's code page: the switches are compared as such.
std::vector<std::string> switchArguments() {
  std::vector<std::string> result;
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return result;
  for (int i = 1; i < count; ++i) result.push_back(zorvik::win::narrow(arguments[i]));
  LocalFree(arguments);
  return result;
}

int messageLoop(zorvik::win::MainWindow& window) {
  MSG msg;
  bool idle = false;
  for (;;) {
    // The first moment nothing is waiting: the window is up and drawn.
    if (!idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      idle = true;
      window.firstIdle();
    }
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got < 0) return 1;
    if (window.preTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_BAR_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  // The file dialog and the accessibility annotations are COM objects that
  // want a single-threaded apartment on the window's thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int status = 0;
  {
    zorvik::win::TaskbarWindow taskbar(instance);
    zorvik::win::MainWindow window(instance, taskbar, switchArguments());
    window.show();
    status = messageLoop(window);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
