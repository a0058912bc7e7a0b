// The pilot's command line: options, then one command per argument, carried
// out in order. Output: one line per observation on standard output; a
// command that cannot be carried out prints "FAIL: why" and ends the pilot
// with status 1, leaving the updater as it is (the host test cleans up).
//
//   zorvik-window-pilot.exe [--updater PATH] COMMAND...
#include "tests/wine/pilot/pilot.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "apps/windows/control_ids.h"

namespace zorvik::pilot {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A command's words: the first `count - 1` split at blanks, the last the
// whole rest (a text may hold blanks).
std::vector<std::string> words(const std::string& command, std::size_t count) {
  std::vector<std::string> result;
  std::size_t pos = 0;
  while (result.size() + 1 < count && pos < command.size()) {
    const std::size_t end = command.find(' ', pos);
    result.push_back(command.substr(pos, end - pos));
    pos = end == std::string::npos ? command.size() : end + 1;
  }
  if (pos < command.size()) result.push_back(command.substr(pos));
  while (result.size() < count) result.emplace_back();
  return result;
}

int number(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    throw Failure("not a number: \"" + text + "\"");
  }
}

HWND controlByRole(const Pilot& pilot, const std::string& role) {
  const HWND control = pilot.control(role);
  if (!control) throw Failure("no control of the role " + role);
  return control;
}

HWND button(HWND dialog, const std::wstring& caption) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Button") != 0) continue;
    wchar_t text[128] = {};
    SendMessageTimeoutW(child, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    if (caption == text) return child;
  }
  throw Failure("no button \"" + utf8(caption) + "\"");
}

// What a dialog shows: its texts and its buttons, in window order.
void sayDialog(const Pilot& pilot, const std::string& caption, HWND dialog) {
  std::string texts;
  std::string buttons;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    const std::string text = utf8(pilot.text(child));
    if (_wcsicmp(cls, L"Button") == 0) buttons += (buttons.empty() ? "" : ", ") + text;
    else if (!text.empty()) texts += (texts.empty() ? "" : " | ") + text;
  }
  say("dialog " + caption + ": " + texts);
  say("dialog " + caption + " buttons: " + buttons);
}

struct Command {
  std::size_t words;  // the verb included
  std::function<void(Pilot&, const std::vector<std::string>&)> run;
};

const std::map<std::string, Command>& commands() {
  static const std::map<std::string, Command> table{
      // launch [ARGUMENTS]: starts the updater, waits for its main window.
      {"launch", {2, [](Pilot& p, const auto& w) { p.launch(fromUtf8(w[1])); }}},
      // click ROLE: BM_CLICK on a control; a disabled or hidden one cannot be clicked.
      {"click", {2, [](Pilot& p, const auto& w) { clickButton(p, controlByRole(p, w[1])); }}},
      // mouse ROLE: a click with mouse input at the middle of the control.
      {"mouse", {2, [](Pilot& p, const auto& w) { mouseClick(controlByRole(p, w[1])); }}},
      // mouse-for ROLE CAPTION: mouse clicks on the control until a window
      // CAPTION opens, three at most. Wine under Xvfb loses a click now and
      // then (its X round trips race the first input to a new window); what
      // a test checks is what the click leads to, not that plumbing.
      {"mouse-for",
       {3,
        [](Pilot& p, const auto& w) {
          for (int attempt = 1;; ++attempt) {
            mouseClick(controlByRole(p, w[1]));
            try {
              p.waitForWindow(fromUtf8(w[2]), seconds(3));
              return;
            } catch (const Failure&) {
              if (attempt == 3) throw;
            }
          }
        }}},
      // keys KEY...: keyboard input (tab, shift+tab, enter, escape, space, down, alt+f4, f10).
      {"keys", {2, [](Pilot& p, const auto& w) { pressKeys(p, w[1]); }}},
      // text ROLE: the text of the window or control of that role (see Pilot::roleText).
      {"text", {2, [](Pilot& p, const auto& w) { say("text " + w[1] + ": " + utf8(p.roleText(w[1]))); }}},
      // percent: where the progress bar stands.
      {"percent", {1, [](Pilot& p, const auto&) { say("percent: " + std::to_string(p.progressPosition())); }}},
      // wait-text ROLE SECONDS TEXT: until the text of ROLE contains TEXT.
      {"wait-text",
       {4,
        [](Pilot& p, const auto& w) {
          const auto until = std::chrono::steady_clock::now() + seconds(number(w[2]));
          std::wstring seen;
          while ((seen = p.roleText(w[1])).find(fromUtf8(w[3])) == std::wstring::npos) {
            if (std::chrono::steady_clock::now() > until) {
              throw Failure(w[1] + " never showed \"" + w[3] + "\"; last: \"" + utf8(seen) + "\"");
            }
            Sleep(50);
          }
          say("text " + w[1] + ": " + utf8(seen));
        }}},
      // wait-progress SECONDS PERCENT: until the progress bar stands at PERCENT or beyond.
      {"wait-progress",
       {3,
        [](Pilot& p, const auto& w) {
          const auto until = std::chrono::steady_clock::now() + seconds(number(w[1]));
          while (p.progressPosition() < number(w[2])) {
            if (std::chrono::steady_clock::now() > until) throw Failure("the progress never reached " + w[2]);
            Sleep(50);
          }
          say("percent: " + std::to_string(p.progressPosition()));
        }}},
      // wait-enabled SECONDS ROLE: until the control can be used (shown and enabled).
      {"wait-enabled",
       {3,
        [](Pilot& p, const auto& w) {
          const HWND control = controlByRole(p, w[2]);
          const auto until = std::chrono::steady_clock::now() + seconds(number(w[1]));
          while (!IsWindowVisible(control) || !IsWindowEnabled(control)) {
            if (std::chrono::steady_clock::now() > until) throw Failure("control " + w[2] + " never became usable");
            Sleep(50);
          }
        }}},
      {"controls", {1, [](Pilot& p, const auto&) { sayControls(p); }}},
      {"geometry", {1, [](Pilot& p, const auto&) { sayGeometry(p); }}},
      {"focus", {1, [](Pilot& p, const auto&) { sayFocus(p); }}},
      {"ports", {1, [](Pilot& p, const auto&) { sayPortList(p); }}},
      // dialog SECONDS CAPTION: waits for the window and says what it shows.
      {"dialog",
       {3,
        [](Pilot& p, const auto& w) {
          sayDialog(p, w[2], p.waitForWindow(fromUtf8(w[2]), seconds(number(w[1]))));
        }}},
      // answer CAPTION BUTTON: presses a button of an open dialog; the
      // caption may hold blanks, the button's name (the last word) not.
      {"answer",
       {2,
        [](Pilot& p, const auto& w) {
          const std::size_t blank = w[1].find_last_of(' ');
          if (blank == std::string::npos) throw Failure("answer: a caption and a button");
          const HWND dialog = p.waitForWindow(fromUtf8(w[1].substr(0, blank)), seconds(10));
          clickButton(p, button(dialog, fromUtf8(w[1].substr(blank + 1))));
          p.waitUntilGone(dialog, seconds(10));
        }}},
      // children SECONDS CAPTION: every window inside that window, for
      // finding one's way around a dialog of the system's.
      {"children",
       {3,
        [](Pilot& p, const auto& w) {
          const HWND window = p.waitForWindow(fromUtf8(w[2]), seconds(number(w[1])));
          EnumChildWindows(
              window,
              [](HWND child, LPARAM) -> BOOL {
                wchar_t cls[64] = {};
                GetClassNameW(child, cls, 64);
                say("child " + utf8(cls) + " " + std::to_string(GetDlgCtrlID(child)) +
                    (IsWindowVisible(child) ? " shown" : " hidden"));
                return TRUE;
              },
              0);
        }}},
      // gone SECONDS CAPTION: waits until no window of that caption is shown.
      {"gone",
       {3,
        [](Pilot& p, const auto& w) {
          if (const HWND window = p.findWindow(fromUtf8(w[2]))) p.waitUntilGone(window, seconds(number(w[1])));
        }}},
      {"absent",
       {2,
        [](Pilot& p, const auto& w) {
          say("window " + w[1] + ": " + (p.findWindow(fromUtf8(w[1])) ? "shown" : "absent"));
        }}},
      {"overview", {1, [](Pilot& p, const auto&) { sayOverview(p, p.waitForWindow(win::kOverviewCaption, seconds(10))); }}},
      // device-change arrival|removal port|volume
      {"device-change", {3, [](Pilot& p, const auto& w) { sendDeviceChange(p, w[1], w[2]); }}},
      // set-port TEXT: types a port name into the port box.
      {"set-port",
       {2,
        [](Pilot& p, const auto& w) {
          const std::wstring text = fromUtf8(w[1]);
          SendMessageTimeoutW(controlByRole(p, session::roles::kPortBox), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                              SMTO_ABORTIFHUNG, 5000, nullptr);
        }}},
      // file-dialog SECONDS PATH: picks PATH in the open-file dialog.
      {"file-dialog",
       {3, [](Pilot& p, const auto& w) { typeIntoFileDialog(p, fromUtf8(w[2]), seconds(number(w[1]))); }}},
      // name ROLE: the name a screen reader reads for the control (or the report).
      {"name",
       {2,
        [](Pilot& p, const auto& w) {
          sayAccessibleName(w[1] == session::roles::kReportView ? p.reportView() : controlByRole(p, w[1]), w[1]);
        }}},
      // move X Y: drags the main window so that its top-left corner is at X, Y.
      {"move",
       {3,
        [](Pilot& p, const auto& w) {
          SetWindowPos(p.mainWindow(), nullptr, number(w[1]), number(w[2]), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
          Sleep(200);
        }}},
      // plug DEVICE PORT / unplug DEVICE: a port appears in the serial port
      // map (\Device\DEVICE = PORT) or leaves it, and the system says so.
      {"plug",
       {3,
        [](Pilot& p, const auto& w) {
          setSerialMapValue(fromUtf8("\\Device\\" + w[1]), fromUtf8(w[2]));
          sendDeviceChange(p, "arrival", "port");
        }}},
      {"unplug",
       {2,
        [](Pilot& p, const auto& w) {
          setSerialMapValue(fromUtf8("\\Device\\" + w[1]), L"");
          sendDeviceChange(p, "removal", "port");
        }}},
      // close: the main window's close box.
      {"close", {1, [](Pilot& p, const auto&) { PostMessageW(p.mainWindow(), WM_CLOSE, 0, 0); }}},
      // end-session ask|end: what Windows sends the main window when the user
      // logs off: the question (answered "allowed" or "refused"), or the end.
      {"end-session",
       {2,
        [](Pilot& p, const auto& w) {
          const bool ask = w[1] == "ask";
          DWORD_PTR answer = 0;
          const LRESULT sent = SendMessageTimeoutW(p.mainWindow(), ask ? WM_QUERYENDSESSION : WM_ENDSESSION,
                                                   ask ? 0 : TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer);
          if (sent == 0) throw Failure("the window did not answer " + w[1]);
          say("end-session: " + std::string(!ask ? "ended" : answer != 0 ? "allowed" : "refused"));
        }}},
      {"wait-exit",
       {2, [](Pilot& p, const auto& w) { say("exit: " + std::to_string(p.waitForExit(seconds(number(w[1]))))); }}},
      {"sleep", {2, [](Pilot&, const auto& w) { Sleep(static_cast<DWORD>(number(w[1]))); }}},
      // shot PATH: the screen as a BMP file.
      {"shot", {2, [](Pilot& p, const auto& w) { saveScreenshot(p, fromUtf8(w[1])); }}},
  };
  return table;
}

std::wstring besideThisProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + name;
}

}  // namespace
}  // namespace zorvik::pilot

int main() {
  using namespace zorvik::pilot;
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // observations reach the host as they are made
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // The arguments as UTF-16, whatever the code page: texts to look for may
  // be any text.
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring updater = besideThisProgram(L"zorvik-updater.exe");
  int first = 1;
  if (argc > 2 && std::wstring(argv[1]) == L"--updater") {
    updater = argv[2];
    first = 3;
  }
  Pilot pilot(updater);
  for (int i = first; i < argc; ++i) {
    const std::string command = utf8(argv[i]);
    const auto found = commands().find(command.substr(0, command.find(' ')));
    try {
      if (found == commands().end()) throw Failure("unknown command \"" + command + "\"");
      found->second.run(pilot, words(command, found->second.words));
    } catch (const std::exception& failure) {  // a Failure, or a bad number in a command
      say(std::string("FAIL: ") + failure.what() + " (in \"" + command + "\")");
      pilot.terminate();
      return 1;
    }
  }
  // Every script ends the updater; one still running has not done what the
  // script expected, and must not hold up the virtual desktop.
  if (pilot.running()) {
    say("FAIL: the updater is still running at the end");
    pilot.terminate();
    return 1;
  }
  say("done");
  return 0;
}
