// Starting the updater, finding its windows and reading their texts.
#include "tests/wine/pilot/pilot.h"

#include <commctrl.h>

#include <cstdio>
#include <thread>

#include "apps/windows/control_ids.h"

namespace zorvik::pilot {

using std::chrono::milliseconds;

namespace {
constexpr milliseconds kPoll{50};
constexpr milliseconds kLaunchPoll{2};  // fine enough for the start-up figure
constexpr milliseconds kStartLimit{60000};
constexpr UINT kReplyLimitMs = 5000;

struct Search {
  DWORD process;
  const wchar_t* className;  // null: any
  const wchar_t* caption;    // null: any
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK match(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process) return TRUE;
  if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
  wchar_t text[256] = {};
  if (search->className) {
    GetClassNameW(window, text, 256);
    if (wcscmp(text, search->className) != 0) return TRUE;
  }
  if (search->caption) {
    InternalGetWindowText(window, text, 256);
    if (wcscmp(text, search->caption) != 0) return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND topLevel(DWORD process, const wchar_t* className, const wchar_t* caption, bool visibleOnly) {
  Search search{process, className, caption, visibleOnly, nullptr};
  EnumWindows(match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

void say(const std::string& line) {
  // Line breaks inside a text are shown as "\n", so that one observation
  // stays one line.
  std::string out;
  for (const char c : line) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
}

Pilot::~Pilot() {
  if (process_) CloseHandle(process_);
}

void Pilot::launch(const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + updater_ + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const auto started = std::chrono::steady_clock::now();
  if (!CreateProcessW(updater_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw Failure("cannot start " + utf8(updater_) + " (error " + std::to_string(GetLastError()) + ")");
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  processId_ = info.dwProcessId;
  const auto until = std::chrono::steady_clock::now() + kStartLimit;
  while (!(main_ = topLevel(processId_, win::kMainWindowClass, nullptr, true))) {
    if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) throw Failure("the updater ended before its window showed");
    if (std::chrono::steady_clock::now() > until) throw Failure("the updater's main window never showed");
    std::this_thread::sleep_for(kLaunchPoll);
  }
  const auto shown = std::chrono::steady_clock::now();
  thread_ = GetWindowThreadProcessId(main_, nullptr);
  WaitForInputIdle(process_, 10000);
  // For the start-up figure of BENCHMARKS.md; no test judges it.
  say("launched: window shown after " +
      std::to_string(std::chrono::duration_cast<milliseconds>(shown - started).count()) + " ms");
}

bool Pilot::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

void Pilot::terminate() {
  if (!running()) return;
  TerminateProcess(process_, 99);
  WaitForSingleObject(process_, 10000);
}

DWORD Pilot::waitForExit(milliseconds limit) {
  if (!process_) throw Failure("no updater was started");
  if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    throw Failure("the updater is still running");
  }
  DWORD status = 0;
  GetExitCodeProcess(process_, &status);
  return status;
}

HWND Pilot::control(std::string_view role) const {
  if (!main_) throw Failure("no updater window");
  if (role == session::roles::kStatusBar) return GetDlgItem(main_, win::kIdStatusBar);
  for (const win::ControlRole& c : win::kPanelControls) {
    if (role == c.role) return GetDlgItem(GetDlgItem(main_, win::kIdPanel), c.id);
  }
  return nullptr;
}

HWND Pilot::reportView() const {
  const HWND report = topLevel(processId_, win::kReportWindowClass, nullptr, false);
  if (!report) throw Failure("no report window");
  return GetDlgItem(report, win::kIdReportView);
}

HWND Pilot::taskbarWindow() const {
  const HWND owner = GetWindow(main_, GW_OWNER);
  if (!owner) throw Failure("the main window has no owner for the task-bar button");
  return owner;
}

HWND Pilot::findWindow(const std::wstring& caption) const {
  return topLevel(processId_, nullptr, caption.c_str(), true);
}

HWND Pilot::waitForWindow(const std::wstring& caption, milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (const HWND window = findWindow(caption)) {
      // Its controls are made while it is created; give it the moment to draw.
      WaitForInputIdle(process_, 2000);
      return window;
    }
    if (!running()) throw Failure("the updater ended while waiting for \"" + utf8(caption) + "\"");
    if (std::chrono::steady_clock::now() > until) throw Failure("no window \"" + utf8(caption) + "\" showed");
    std::this_thread::sleep_for(kPoll);
  }
}

void Pilot::waitUntilGone(HWND window, milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (std::chrono::steady_clock::now() > until) throw Failure("a window stayed open");
    std::this_thread::sleep_for(kPoll);
  }
}

std::wstring Pilot::text(HWND window) const {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyLimitMs, &length)) {
    throw Failure("the updater does not answer");
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kReplyLimitMs, &copied);
  text.resize(copied);
  return text;
}

std::wstring Pilot::roleText(std::string_view role) const {
  namespace roles = session::roles;
  HWND window = nullptr;
  if (role == roles::kMainWindow) window = main_;
  else if (role == roles::kTaskbarWindow) window = taskbarWindow();
  else if (role == roles::kReportView) window = reportView();
  else if (role == roles::kMessageText) window = GetDlgItem(findWindow(win::kMessageCaption), win::kIdMessageText);
  else if (role == roles::kFindingsText) window = GetDlgItem(findWindow(win::kCheckPortCaption), win::kIdFindingsText);
  else window = control(role);
  if (!window) throw Failure("nothing of the role " + std::string(role));
  return text(window);
}

int Pilot::progressPosition() const {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(control(session::roles::kProgressBar), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kReplyLimitMs,
                      &position);
  return static_cast<int>(position);
}

}  // namespace zorvik::pilot
