// What the pilot does with its hands: clicks, keys (the menu is reached with
// them, as Wine does not let another process read a menu), the file dialog,
// the serial port map and the system's device notifications.
#include "tests/wine/pilot/pilot.h"

#include <dbt.h>

#include <map>
#include <sstream>
#include <thread>

#include "apps/windows/control_ids.h"

namespace zorvik::pilot {

namespace {

void bringToFront(const Pilot& pilot) {
  // Keyboard input goes to the active window: the updater's, or the dialog
  // it has open.
  const HWND target = GetLastActivePopup(pilot.mainWindow());
  SetForegroundWindow(target ? target : pilot.mainWindow());
  Sleep(100);
}

INPUT key(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

WORD virtualKey(const std::string& name) {
  static const std::map<std::string, WORD> keys{
      {"tab", VK_TAB},   {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"space", VK_SPACE}, {"down", VK_DOWN},
      {"up", VK_UP},     {"left", VK_LEFT},    {"right", VK_RIGHT},   {"f4", VK_F4},       {"f10", VK_F10},
      {"shift", VK_SHIFT}, {"alt", VK_MENU},   {"ctrl", VK_CONTROL}};
  const auto found = keys.find(name);
  if (found == keys.end()) throw Failure("unknown key \"" + name + "\"");
  return found->second;
}

}  // namespace

void clickButton(Pilot& pilot, HWND button) {
  (void)pilot;
  if (!IsWindowVisible(button)) throw Failure("the button to click is hidden");
  if (!IsWindowEnabled(button)) throw Failure("the button to click is disabled");
  PostMessageW(button, BM_CLICK, 0, 0);
  Sleep(50);
}

// Polls `ready` every 20 ms for up to two seconds; whether it came true.
template <class Ready>
bool within2s(Ready ready) {
  for (int i = 0; i < 100; ++i) {
    if (ready()) return true;
    Sleep(20);
  }
  return ready();
}

void mouseClick(HWND window) {
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) throw Failure("the control to click cannot be clicked");
  // Wine brings a window to the front and moves the pointer through the X
  // server, a round trip later: a button pressed before both have happened
  // lands elsewhere, and the click is lost.
  const HWND root = GetAncestor(window, GA_ROOT);
  within2s([&] {
    SetForegroundWindow(root);
    return GetForegroundWindow() == root;
  });
  RECT rect{};
  GetWindowRect(window, &rect);
  const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  // Absolute input coordinates run from 0 to 65535 across the screen.
  const LONG x = MulDiv(centre.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  const LONG y = MulDiv(centre.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  const auto send = [&](DWORD flag) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.dwFlags = flag | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
  };
  send(MOUSEEVENTF_MOVE);
  const bool over = within2s([&] {
    POINT at{};
    return GetCursorPos(&at) && WindowFromPoint(at) == window;
  });
  if (!over) throw Failure("the pointer never came over the control to click");
  Sleep(100);
  send(MOUSEEVENTF_LEFTDOWN);
  Sleep(100);
  send(MOUSEEVENTF_LEFTUP);
  Sleep(100);
}

// "shift+tab enter": each word one key press, with its modifiers held.
void pressKeys(Pilot& pilot, const std::string& keys) {
  bringToFront(pilot);
  std::istringstream words(keys);
  std::string word;
  while (words >> word) {
    std::vector<WORD> held;
    std::size_t start = 0;
    for (std::size_t plus; (plus = word.find('+', start)) != std::string::npos; start = plus + 1) {
      held.push_back(virtualKey(word.substr(start, plus - start)));
    }
    const WORD vk = virtualKey(word.substr(start));
    std::vector<INPUT> inputs;
    for (const WORD modifier : held) inputs.push_back(key(modifier, false));
    inputs.push_back(key(vk, false));
    inputs.push_back(key(vk, true));
    for (auto it = held.rbegin(); it != held.rend(); ++it) inputs.push_back(key(*it, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(150);
  }
}

void sendDeviceChange(Pilot& pilot, const std::string& event, const std::string& kind) {
  WPARAM what = 0;
  if (event == "arrival") what = DBT_DEVICEARRIVAL;
  else if (event == "removal") what = DBT_DEVICEREMOVECOMPLETE;
  else throw Failure("device-change: arrival or removal, not " + event);
  DEV_BROADCAST_PORT_W port{};
  port.dbcp_size = sizeof port;
  port.dbcp_devicetype = DBT_DEVTYP_PORT;
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << 4;  // E:
  LPARAM header = 0;
  if (kind == "port") header = reinterpret_cast<LPARAM>(&port);
  else if (kind == "volume") header = reinterpret_cast<LPARAM>(&volume);
  else throw Failure("device-change: port or volume, not " + kind);
  bringToFront(pilot);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(pilot.mainWindow(), WM_DEVICECHANGE, what, header, SMTO_ABORTIFHUNG, 5000, &result)) {
    throw Failure("the updater did not take the device notification");
  }
  Sleep(200);
}

void setSerialMapValue(const std::wstring& device, const std::wstring& port) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw Failure("cannot open the serial port map");
  }
  const LONG result =
      port.empty() ? RegDeleteValueW(key, device.c_str())
                   : RegSetValueExW(key, device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                                    static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) throw Failure("cannot change the serial port map");
}

void typeIntoFileDialog(Pilot& pilot, const std::wstring& fileName, std::chrono::milliseconds limit) {
  const HWND dialog = pilot.waitForWindow(L"Open", limit);
  // The file name box: the edit field inside the combo box cmb13 (itself
  // inside an extended combo box in Wine's dialog), or the edit box edt1.
  HWND edit = nullptr;
  if (const HWND names = GetDlgItem(dialog, 0x47C)) {
    EnumChildWindows(
        names,
        [](HWND child, LPARAM found) -> BOOL {
          wchar_t cls[16] = {};
          GetClassNameW(child, cls, 16);
          if (_wcsicmp(cls, L"Edit") != 0) return TRUE;
          *reinterpret_cast<HWND*>(found) = child;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
  }
  if (!edit) edit = GetDlgItem(dialog, 0x480);
  if (!edit) throw Failure("no file name box in the open-file dialog");
  SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileName.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
  clickButton(pilot, GetDlgItem(dialog, IDOK));
  pilot.waitUntilGone(dialog, limit);
}

}  // namespace zorvik::pilot
