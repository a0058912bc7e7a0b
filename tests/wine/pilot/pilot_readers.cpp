// What the pilot reads back: the state and place of every control, the
// focus, the port list, the firmware overview and the names a
// screen reader reads.
#include "tests/wine/pilot/pilot.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>

#include "apps/windows/control_ids.h"

namespace zorvik::pilot {

namespace {

constexpr UINT kReplyLimitMs = 5000;

std::string rectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
         std::to_string(r.bottom - r.top);
}

LRESULT ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyLimitMs, &result)) {
    throw Failure("the updater does not answer");
  }
  return static_cast<LRESULT>(result);
}

// Text of a list view cell or column header, through memory in the updater.
std::wstring listText(HANDLE process, HWND list, UINT message, int index, int subItem) {
  constexpr int kChars = 256;
  RemoteBuffer remote(process, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  auto* text = static_cast<wchar_t*>(remote.address()) + sizeof(LVITEMW) / sizeof(wchar_t);
  if (message == LVM_GETCOLUMNW) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = kChars;
    remote.write(&column, sizeof column);
    ask(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.address()));
  } else {
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = kChars;
    remote.write(&item, sizeof item);
    ask(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.address()));
  }
  wchar_t local[kChars] = {};
  remote.read(local, sizeof local, sizeof(LVITEMW));
  local[kChars - 1] = L'\0';
  return local;
}

int stringWidth(HANDLE process, HWND list, const std::wstring& text) {
  RemoteBuffer remote(process, (text.size() + 1) * sizeof(wchar_t));
  remote.write(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return static_cast<int>(ask(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(remote.address())));
}

}  // namespace

RemoteBuffer::RemoteBuffer(HANDLE process, std::size_t bytes)
    : process_(process), address_(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE)) {
  if (!address_) throw Failure("no memory in the updater's process");
}

RemoteBuffer::~RemoteBuffer() { VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }

void RemoteBuffer::write(const void* data, std::size_t bytes, std::size_t offset) {
  if (!WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, nullptr)) {
    throw Failure("cannot write into the updater's memory");
  }
}

void RemoteBuffer::read(void* data, std::size_t bytes, std::size_t offset) const {
  if (!ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, nullptr)) {
    throw Failure("cannot read the updater's memory");
  }
}

void sayControls(Pilot& pilot) {
  for (const auto& [role, id] : win::kPanelControls) {
    const HWND control = pilot.control(role);
    if (!control) throw Failure(std::string("no control of the role ") + role);
    std::string line = std::string("control ") + role + ": " + (IsWindowVisible(control) ? "shown" : "hidden") + " " +
                       (IsWindowEnabled(control) ? "enabled" : "disabled");
    if (id == win::kIdReadInfoOnlyBox || id == win::kIdTraceBox) {
      line += ask(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? " checked" : " unchecked";
    }
    say(line + " \"" + utf8(pilot.text(control)) + "\"");
  }
}

void sayGeometry(Pilot& pilot) {
  const HWND main = pilot.mainWindow();
  RECT outer{};
  RECT client{};
  GetWindowRect(main, &outer);
  GetClientRect(main, &client);
  say(std::string("geometry ") + session::roles::kMainWindow + ": outer " + rectText(outer) + " client " + rectText(client));
  const HWND panel = GetParent(pilot.control(session::roles::kUpdateButton));
  for (const auto& [role, id] : win::kPanelControls) {
    RECT rect{};
    GetWindowRect(pilot.control(role), &rect);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&rect), 2);
    say(std::string("geometry ") + role + ": " + rectText(rect));
  }
  RECT status{};
  GetWindowRect(pilot.control(session::roles::kStatusBar), &status);
  MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&status), 2);
  say(std::string("geometry ") + session::roles::kStatusBar + ": " + rectText(status));
  sayStatusRoom(pilot);
  for (const wchar_t* caption : {win::kReportCaption, win::kMessageCaption, win::kOverviewCaption, win::kConfirmCaption}) {
    if (const HWND window = pilot.findWindow(caption)) {
      GetWindowRect(window, &outer);
      GetClientRect(window, &client);
      say("geometry " + utf8(caption) + ": outer " + rectText(outer) + " client " + rectText(client));
    }
  }
  // The final message's parts, in its client area: the icon, the text, "OK".
  if (const HWND message = pilot.findWindow(win::kMessageCaption)) {
    for (HWND child = GetWindow(message, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      RECT rect{};
      GetWindowRect(child, &rect);
      MapWindowPoints(nullptr, message, reinterpret_cast<POINT*>(&rect), 2);
      const int id = GetDlgCtrlID(child);
      const char* part = id == win::kIdMessageIcon ? "icon" : id == win::kIdMessageText ? "text" : id == IDOK ? "ok" : "other";
      std::string line = std::string("geometry Information ") + part + ": " + rectText(rect);
      if (id == win::kIdMessageIcon) line += ask(child, STM_GETICON, 0, 0) != 0 ? " with icon" : " empty";
      say(line);
    }
  }
}

// Room for the status bar's text: the height of its part, and the height of
// a line in the window's font (8 points of "Microsoft Sans Serif", as the
// window makes it, at this screen's DPI).
void sayStatusRoom(Pilot& pilot) {
  const HWND bar = pilot.control(session::roles::kStatusBar);
  RemoteBuffer remote(pilot.process(), sizeof(RECT));
  ask(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(remote.address()));
  RECT part{};
  remote.read(&part, sizeof part);
  HDC dc = GetDC(nullptr);
  const int pixels = MulDiv(11, GetDeviceCaps(dc, LOGPIXELSY), 96);
  HFONT font = CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Microsoft Sans Serif");
  const HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  say("status room: part " + std::to_string(part.bottom - part.top) + " line " + std::to_string(metrics.tmHeight));
}

void sayFocus(Pilot& pilot) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(pilot.threadId(), &info) || !info.hwndFocus) {
    say("focus: none");
    return;
  }
  HWND focus = info.hwndFocus;
  // The port box's edit field stands for the port box.
  wchar_t cls[64] = {};
  GetClassNameW(GetParent(focus), cls, 64);
  if (_wcsicmp(cls, L"ComboBox") == 0) focus = GetParent(focus);
  for (const auto& [role, id] : win::kPanelControls) {
    if (pilot.control(role) == focus) {
      say(std::string("focus: ") + role);
      return;
    }
  }
  GetClassNameW(focus, cls, 64);
  say("focus: " + utf8(cls) + " \"" + utf8(pilot.text(focus)) + "\" in \"" + utf8(pilot.text(GetAncestor(focus, GA_ROOT))) + "\"");
}

void sayPortList(Pilot& pilot) {
  const HWND box = pilot.control(session::roles::kPortBox);
  const auto count = ask(box, CB_GETCOUNT, 0, 0);
  std::string items;
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = ask(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    ask(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length));
    items += (i ? ", " : "") + utf8(item);
  }
  say("ports: " + items);
  say("port text: " + utf8(pilot.text(box)));
  say(std::string("port list: ") + (ask(box, CB_GETDROPPEDSTATE, 0, 0) ? "open" : "closed"));
}

void sayOverview(Pilot& pilot, HWND dialog) {
  const HWND list = GetDlgItem(dialog, win::kIdOverviewList);
  if (!list) throw Failure("the overview has no list");
  const auto header = reinterpret_cast<HWND>(ask(list, LVM_GETHEADER, 0, 0));
  const auto columns = static_cast<int>(ask(header, HDM_GETITEMCOUNT, 0, 0));
  const auto rows = static_cast<int>(ask(list, LVM_GETITEMCOUNT, 0, 0));
  RECT outer{};
  RECT client{};
  GetWindowRect(dialog, &outer);
  GetClientRect(dialog, &client);
  say("overview: outer " + rectText(outer) + " client " + rectText(client) + " rows " + std::to_string(rows));
  int sum = 0;
  for (int c = 0; c < columns; ++c) {
    const std::wstring title = listText(pilot.process(), list, LVM_GETCOLUMNW, c, 0);
    int widest = 0;
    for (int r = 0; r < rows; ++r) {
      widest = std::max(widest, stringWidth(pilot.process(), list, listText(pilot.process(), list, LVM_GETITEMTEXTW, r, c)));
    }
    const auto width = static_cast<int>(ask(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    sum += width;
    say("overview column " + std::to_string(c) + ": " + utf8(title) + " width " + std::to_string(width) + " header " +
        std::to_string(stringWidth(pilot.process(), list, title)) + " widest " + std::to_string(widest));
  }
  say("overview columns sum: " + std::to_string(sum));
  for (int r = 0; r < rows; ++r) {
    std::string line = "overview row " + std::to_string(r) + ":";
    for (int c = 0; c < columns; ++c) line += (c ? " | " : " ") + utf8(listText(pilot.process(), list, LVM_GETITEMTEXTW, r, c));
    say(line);
  }
}

void sayAccessibleName(HWND control, const std::string& label) {
  IAccessible* accessible = nullptr;
  const HRESULT found = AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                   reinterpret_cast<void**>(&accessible));
  if (FAILED(found) || !accessible) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(found));
    throw Failure("no accessible object for " + label + " (" + code + ")");
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  const HRESULT result = accessible->get_accName(self, &name);
  accessible->Release();
  say("name " + label + ": " + (SUCCEEDED(result) && name ? utf8(name) : std::string()));
  if (name) SysFreeString(name);
  // A control without a caption of its own (a box to type into) is named by
  // the label right before it.
  const HWND before = GetWindow(control, GW_HWNDPREV);
  wchar_t cls[32] = {};
  if (before) GetClassNameW(before, cls, 32);
  if (_wcsicmp(cls, L"Static") == 0) {
    wchar_t text[128] = {};
    SendMessageTimeoutW(before, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kReplyLimitMs, nullptr);
    say("label " + label + ": " + utf8(text));
  }
}

}  // namespace zorvik::pilot
